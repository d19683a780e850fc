#pragma once

#include <CLI/CLI.hpp>

#include <memory>
#include <string>

#include "standin/Session.h"

namespace standin {

// `picture`: draws the VOIs of a VOI file as three maximum projections in one SVG,
// over the projection of an anatomical image when one is given.
struct PictureOptions {
  std::string voiFile;
  std::string output;
  std::string underlay;
};

CLI::App* setupPicture(CLI::App& app, PictureOptions& options);
ExitCode runPicture(const PictureOptions& options);

// --picture FILE and --underlay IMAGE of `spheres`.
void addPictureOptions(CLI::App& app, std::string& picture, std::string& underlay);

// A picture asked for, checked before anything runs: its output path and its
// underlay, already read. Usage errors are thrown as CLI::ValidationError naming
// `option` or --underlay; a build without pictures refuses every picture so.
class PicturePlan {
public:
  PicturePlan(const std::string& option, const std::string& output, const std::string& underlay);
  ~PicturePlan();
  PicturePlan(PicturePlan&&) noexcept;
  PicturePlan& operator=(PicturePlan&&) noexcept;
  // Draws the VOI file at `voiPath` and writes the picture: Failed (reported) when
  // the file does not read back or the picture cannot be written.
  ExitCode draw(const std::string& voiPath) const;

private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

} // namespace standin
