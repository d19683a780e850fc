#include <cstdio>

#include "host/HostEntryTable.h"
#include "plugin/Orbiculon.h"

bool Orbiculon::execute() {
  char command[256] = {};
  const auto& host = orbiculon::hostTable();
  host.rzGetStringParameter("Command", command);
  command[255] = '\0';
  char line[512];
  std::snprintf(line, sizeof line, "Plugin>  Received unknown command: \"%s\".", command);
  host.rzLogText(line);
  return true;
}
