#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

#include "coords/SpaceConversion.h"
#include "standin/CliCommon.h"
#include "standin/NiftiCommand.h"
#include "standin/Session.h"

namespace standin {

// `spheres`: one VOI file of spherical VOIs, from a coordinate list (one VOI per
// valid line) or from one centre, through the plug-in's "Start" command.
struct SpheresOptions {
  std::string plugin;
  HostOptions host;
  std::string list;
  std::vector<float> centre;
  float radius = 5.0f;
  std::string name = "VOI";
  std::vector<std::int32_t> colour{255, 0, 0};
  Space space = Space::Tal;
  bool spaceGiven = false;
  // Complete short list lines from --radius, --name and --colour.
  bool complete = false;
  std::optional<orbiculon::SpaceTransform> convert;
  std::string output;
  bool load = true;
  // --nifti: the image made from the written VOI file.
  NiftiOptions nifti;
  // The picture of the written file (--picture, --underlay).
  std::string picture;
  std::string underlay;
};

CLI::App* setupSpheres(CLI::App& app, SpheresOptions& options);
ExitCode runSpheres(const SpheresOptions& options);

// The dialog's "FileName" for an output path: the path without a final ".voi",
// since the plug-in appends ".voi" itself.
std::string voiFileName(const std::string& output);

} // namespace standin
