#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

#include "coords/SpaceConversion.h"
#include "standin/CliCommon.h"
#include "standin/PeakLists.h"
#include "standin/Session.h"

namespace standin {

// `convert`: cleans a coordinate list in its space with the plug-in's "CleanUpText"
// and prints it with every centre converted to the other space, in the cleaned
// format, ready to paste into the dialog with the other space chosen.
struct ConvertOptions {
  std::string plugin;
  std::string list;
  Space space = Space::Tal;
  bool spaceGiven = false;
  std::optional<orbiculon::SpaceTransform> transform;
  CompletionOptions completion;
};

CLI::App* setupConvert(CLI::App& app, ConvertOptions& options);
ExitCode runConvert(const ConvertOptions& options);

// An option taking one of the transform names icbm-spm, icbm-fsl, icbm-other, mni2tal
// (`spheres --convert`, `convert --transform`).
CLI::Option* addTransformOption(CLI::App& app, const std::string& name,
                                std::optional<orbiculon::SpaceTransform>& transform,
                                const std::string& purpose);

inline Space otherSpace(Space space) { return space == Space::Mni ? Space::Tal : Space::Mni; }

} // namespace standin
