#include "export/VoiStream.h"

#include "standin/VoiReader.h"

namespace orbiculon::exporting {

// Reads the whole file with the stand-in host's reader, then hands it to the sink in
// file order.
std::string streamVoiFile(const std::string& path, VoiSink& sink) {
  const standin::VoiReadResult read = standin::readVoiFile(path);
  if (!read.content) return read.error;
  const standin::VoiFileContent& content = *read.content;
  sink.header({content.referenceSpace, content.vois.size()});
  for (std::size_t index = 0; index < content.vois.size(); ++index) {
    const standin::VoiRecord& voi = content.vois[index];
    sink.beginVoi(index, voi.name, voi.colour);
    sink.voxels(voi.voxels);
    sink.endVoi();
  }
  return "";
}

} // namespace orbiculon::exporting
