/* A host written in plain C, as a natively compiled host sees the plug-in: no C++ ABI
 * at all. It loads the module, creates the plug-in object and calls its virtual
 * table by index, slot 2 (initPlugin), slot 1 (execute), slot 0 (deleting destructor,
 * flags 1), checking after each call the lines the plug-in wrote to the log.
 *
 * The program is itself the host module: it is named Cerevant.exe and exports the
 * host entry points the plug-in needs for these calls. Every other entry stays
 * unresolved, which the binding allows.
 *
 * Usage: Cerevant.exe PATH-TO-Orbiculon.dll; exit code 0 when every check passed. */
#include <stdbool.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#define HOST_EXPORT __declspec(dllexport)

enum { kLogCapacity = 64, kLogLineCapacity = 512, kCommandCapacity = 256 };

static const char kCommand[] = "NativeLayoutProbe";

static char logLines[kLogCapacity][kLogLineCapacity];
static int logCount = 0;
static int passes = 0;
static int failures = 0;

/* ---- The host entry points. ---- */

HOST_EXPORT void rzGetVersionOfCerevantRZ(int* major, int* minor, int* build) {
  *major = 2;
  *minor = 2;
  *build = 0;
}

HOST_EXPORT void rzShowLogTab(void) {}

HOST_EXPORT void rzLogText(const char* text) {
  if (logCount < kLogCapacity) {
    strncpy(logLines[logCount], text, kLogLineCapacity - 1);
    logLines[logCount][kLogLineCapacity - 1] = '\0';
  }
  ++logCount;
}

HOST_EXPORT void rzMessageBox(const char* text) {
  printf("unexpected message: %s\n", text);
  ++failures;
}

HOST_EXPORT int rzGetIDOfCurrentDocument(void) { return 1; }

HOST_EXPORT int rzGetDocumentType(int documentId) { return documentId == 1 ? 3 : 0; }

HOST_EXPORT void rzGetStringParameter(const char* name, char* buffer) {
  const char* value = strcmp(name, "Command") == 0 ? kCommand : "";
  strncpy(buffer, value, kCommandCapacity - 1);
  buffer[kCommandCapacity - 1] = '\0';
}

HOST_EXPORT int rzGetIntParameter(const char* name) {
  (void)name;
  return 0;
}

HOST_EXPORT float rzGetFloatParameter(const char* name) {
  (void)name;
  return 0.0f;
}

/* ---- Checks. ---- */

static void check(bool passed, const char* what) {
  printf("%s %s\n", passed ? "[ OK ]" : "[FAIL]", what);
  if (passed)
    ++passes;
  else
    ++failures;
}

/* The log lines written since line `first` are exactly `expected` (count lines). */
static void checkLog(int first, const char* const* expected, int count, const char* what) {
  bool same = logCount - first == count;
  for (int i = 0; same && i < count; ++i)
    same = strcmp(logLines[first + i], expected[i]) == 0;
  if (!same) {
    printf("       log lines since line %d:\n", first);
    for (int i = first; i < logCount && i < kLogCapacity; ++i)
      printf("       \"%s\"\n", logLines[i]);
  }
  check(same, what);
}

/* Resolves an export of the module as a generic function pointer. */
typedef void (*AnyFunction)(void);
static AnyFunction exported(HMODULE module, const char* name) {
  return (AnyFunction)(void (*)(void))GetProcAddress(module, name);
}

static void checkText(HMODULE module, const char* getterName, const char* expected) {
  typedef const char* (*Getter)(void);
  const Getter getter = (Getter)exported(module, getterName);
  char what[kLogLineCapacity];
  snprintf(what, sizeof what, "%s returns \"%s\"", getterName, expected);
  check(getter != NULL && strcmp(getter(), expected) == 0, what);
}

/* The slots of the native virtual table. */
typedef void* (*DestroySlot)(void* self, unsigned int flags);
typedef bool (*OperationSlot)(void* self);
enum { kDestroySlot = 0, kExecuteSlot = 1, kInitPluginSlot = 2 };
enum { kFreeObject = 1 };

static AnyFunction slot(void* object, int index) {
  const AnyFunction* table = *(const AnyFunction* const*)object;
  return table[index];
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: Cerevant.exe PATH-TO-PLUGIN-DLL\n");
    return 2;
  }
  HMODULE module = LoadLibraryA(argv[1]);
  if (module == NULL) {
    fprintf(stderr, "cannot load %s (error %lu)\n", argv[1], (unsigned long)GetLastError());
    return 2;
  }

  checkText(module, "getPluginName", "Orbiculon");
  checkText(module, "getPluginDescription", "Creates Spherical VOIs");
  checkText(module, "getHelpFile", "HelpFolder/index.html");
  checkText(module, "getGUIScript", "Orbiculon.js");
  checkText(module, "getPluginVersion", "2.2");

  typedef void* (*CreatePlugin)(void);
  const CreatePlugin createPlugin = (CreatePlugin)exported(module, "createPlugin");
  check(createPlugin != NULL, "createPlugin is exported");
  void* object = createPlugin != NULL ? createPlugin() : NULL;
  check(object != NULL, "createPlugin returns an object");
  if (object == NULL) return 1;
  check(logCount == 0, "createPlugin writes nothing to the log");

  int first = logCount;
  const bool ready = ((OperationSlot)slot(object, kInitPluginSlot))(object);
  check(ready, "slot 2 (initPlugin) returns true");
  static const char* const kStartLines[] = {" ", "Plugin>  Running Orbiculon Plugin...", "Plugin>"};
  checkLog(first, kStartLines, 3, "slot 2 (initPlugin) writes the start lines");

  first = logCount;
  const bool executed = ((OperationSlot)slot(object, kExecuteSlot))(object);
  check(executed, "slot 1 (execute) returns true");
  static const char* const kExecuteLines[] = {"Plugin>  Received unknown command: \"NativeLayoutProbe\"."};
  checkLog(first, kExecuteLines, 1, "slot 1 (execute) runs the command named by \"Command\"");

  first = logCount;
  void* const destroyed = ((DestroySlot)slot(object, kDestroySlot))(object, kFreeObject);
  check(destroyed == object, "slot 0 (deleting destructor) returns the object's address");
  static const char* const kClosingLines[] = {"Plugin>  Orbiculon Plugin finished!", " "};
  checkLog(first, kClosingLines, 2, "slot 0 (deleting destructor) writes the closing lines");

  FreeLibrary(module);
  printf("%d passed, %d failed\n", passes, failures);
  return failures == 0 ? 0 : 1;
}
