#pragma once

#include <memory>
#include <string>

namespace standin {

#if defined(_WIN32) && !defined(_MSC_VER)
// The host's view of a plug-in object as a natively compiled Windows host sees it:
// the object begins with a pointer to a table of three slots, a deleting destructor
// taking flags (bit 0: free the object), then execute, then initPlugin. This
// compiler's C++ ABI would give a virtual destructor two slots, so the table is
// spelled out and called by index, `this` as the first argument (x64 Windows has
// one calling convention).
class PluginObject {
public:
  bool execute() { return table_->execute(this); }
  bool initPlugin() { return table_->initPlugin(this); }
  // Destroys the object and frees it, as `delete` through the interface does.
  void destroy() { table_->destroy(this, kFreeObject); }

private:
  static constexpr unsigned int kFreeObject = 1;
  struct Table {
    void* (*destroy)(PluginObject* self, unsigned int flags);
    bool (*execute)(PluginObject* self);
    bool (*initPlugin)(PluginObject* self);
  };
  const Table* table_;
};
#else
// The host's view of a plug-in object: its virtual table holds the destructor, then
// execute, then initPlugin.
class PluginObject {
public:
  virtual ~PluginObject() = default;
  virtual bool execute() = 0;
  virtual bool initPlugin() = 0;
};
#endif

// A loaded plug-in module and its exported entry points.
class PluginModule {
public:
  // Loads the module; on failure `error()` says why.
  explicit PluginModule(const std::string& path);
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  bool loaded() const { return handle_ != nullptr && createPlugin_ != nullptr; }
  const std::string& error() const { return error_; }

  // The identification texts, "" when the module lacks the getter.
  std::string name() const;
  std::string description() const;
  std::string author() const;
  std::string helpFile() const;
  std::string guiScript() const;
  std::string version() const;

  // Creates one plug-in object; null when the module returns null.
  PluginObject* create() const;
  // Destroys an object through its virtual destructor.
  static void destroy(PluginObject* object);

private:
  using Getter = const char* (*)();
  std::string text(const char* getterName) const;
  void* symbol(const char* name) const;

  void* handle_ = nullptr;
  PluginObject* (*createPlugin_)() = nullptr;
  std::string error_;
};

} // namespace standin
