#!/usr/bin/env python3
"""Reads a NIfTI image written from a VOI file back with nibabel and compares it,
voxel for voxel, with the VOI file: a grid voxel belongs to a VOI when its centre in
world millimetres, rounded half away from zero, is one of the VOI's voxel lines.

    check_nifti.py IMAGE VOIFILE labels|masks

Exit 0 when image and label table match, 1 (with the first difference) when they do
not, 77 when nibabel is not installed."""
import sys

try:
    import nibabel
    import numpy
except ImportError:
    print("SKIPPED: nibabel is not installed (Debian: python3-nibabel)")
    sys.exit(77)


def key_of(positions):
    """One number per position (rows x, y, z), for set tests in numpy."""
    offset, side = 1 << 20, 1 << 21
    return ((positions[0] + offset) * side + positions[1] + offset) * side + positions[2] + offset


def read_vois(path):
    lines = open(path, "rb").read().decode("latin-1").split("\r\n")
    vois, at = [], 0
    while at < len(lines):
        if lines[at].startswith("NameOfVOI:"):
            name = lines[at][12:]
            colour = [int(v) for v in lines[at + 1][12:].split()]
            count = int(lines[at + 3][12:])
            positions = [[int(v) for v in l.split()] for l in lines[at + 4 : at + 4 + count]]
            array = numpy.array(positions, numpy.int64).reshape(-1, 3).T
            vois.append((name, colour, key_of(array), array))
            at += 4 + count
        at += 1
    return vois


def fail(message):
    print(message)
    sys.exit(1)


def main(image_path, voi_path, mode):
    vois = read_vois(voi_path)
    image = nibabel.load(image_path)
    data = numpy.asarray(image.dataobj)
    expected_type = numpy.uint16 if mode == "labels" else numpy.uint8
    if data.dtype != expected_type:
        fail(f"voxels are {data.dtype}, expected {expected_type.__name__}")
    sform, qform = int(image.header["sform_code"]), int(image.header["qform_code"])
    if sform == 0 or sform != qform:
        fail(f"sform code {sform}, qform code {qform}")
    if not numpy.allclose(image.get_qform(), image.affine, atol=1e-4):
        fail("the qform places the voxels elsewhere than the sform")
    # Only grid voxels near the VOIs can belong to one: the check looks at the box of
    # grid voxels around them, and requires zeros everywhere else.
    grid = data.shape[:3]
    positions = numpy.concatenate([p for _, _, _, p in vois] + [numpy.zeros((3, 0), numpy.int64)], axis=1)
    if positions.shape[1]:
        corners = numpy.array(numpy.meshgrid(*[[lo - 1, hi + 1] for lo, hi in zip(positions.min(1), positions.max(1))]))
        inverse = numpy.linalg.inv(image.affine)
        indices = inverse[:3, :3] @ corners.reshape(3, -1) + inverse[:3, 3:]
        low = numpy.clip(numpy.floor(indices.min(1)).astype(int), 0, grid)
        high = numpy.clip(numpy.ceil(indices.max(1)).astype(int) + 1, 0, grid)
    else:
        low = high = numpy.zeros(3, int)
    box = tuple(slice(a, b) for a, b in zip(low, high))
    if numpy.count_nonzero(data) != numpy.count_nonzero(data[box]):
        fail("voxels far from every VOI are set")
    data = data[box]
    shape = data.shape[:3]
    i, j, k = numpy.meshgrid(*[numpy.arange(a, b) for a, b in zip(low, high)], indexing="ij")
    centres = image.affine[:3, :3] @ numpy.stack([i.ravel("F"), j.ravel("F"), k.ravel("F")]) + image.affine[:3, 3:]
    rounded = (numpy.sign(centres) * numpy.floor(numpy.abs(centres) + 0.5)).astype(numpy.int64)
    keys = key_of(rounded)
    if mode == "labels":
        expected = numpy.zeros(keys.size, numpy.uint16)
        for label, (_, _, voxels, _) in enumerate(vois, 1):
            expected[numpy.isin(keys, voxels)] = label
        differ = numpy.argwhere(expected.reshape(shape, order="F") != data)
        if differ.size:
            fail(f"{len(differ)} labels differ, first at {differ[:5].tolist()}")
    else:
        if data.shape[3] != len(vois):
            fail(f"{data.shape[3]} masks for {len(vois)} VOIs")
        for index, (name, _, voxels, _) in enumerate(vois):
            expected = numpy.isin(keys, voxels).astype(numpy.uint8).reshape(shape, order="F")
            if not numpy.array_equal(expected, data[..., index]):
                fail(f"mask {index + 1} ({name}) differs")
    table = open(image_path[: -len(".nii.gz") if image_path.endswith(".gz") else -len(".nii")] + ".tsv").read()
    rows = ["index\tname\tcolor"] + [f"{n}\t{name}\t#{c[0]:02x}{c[1]:02x}{c[2]:02x}" for n, (name, c, _, _) in enumerate(vois, 1)]
    if table != "\n".join(rows) + "\n":
        fail("the label table differs:\n" + table)


main(*sys.argv[1:])
