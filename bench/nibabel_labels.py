#!/usr/bin/env python3
"""The label image of a VOI file on the tal-1mm grid, written with nibabel and numpy
as a user would script it: the comparison for the `nifti` timings of orbiculon_bench.

    nibabel_labels.py VOIFILE IMAGE.nii.gz"""
import sys
import time

import nibabel
import numpy

start = time.perf_counter()
labels = numpy.zeros((256, 256, 256), numpy.uint16)
label, rows = 0, []
with open(sys.argv[1], "rb") as voi:
    for line in voi:
        if line.startswith(b"NameOfVOI:"):
            label += 1
        elif line[:1].isdigit() or line[:1] == b"-":
            rows.append(label)
            rows.extend(int(v) for v in line.split())
data = numpy.array(rows, numpy.int64).reshape(-1, 4)
labels[data[:, 1] + 128, data[:, 2] + 128, data[:, 3] + 128] = data[:, 0]
affine = numpy.eye(4)
affine[:3, 3] = -128
image = nibabel.Nifti1Image(labels, affine)
image.set_sform(affine, 3)
image.set_qform(affine, 3)
nibabel.save(image, sys.argv[2])
print(f"{time.perf_counter() - start:.2f} s")
