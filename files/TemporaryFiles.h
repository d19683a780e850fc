#pragma once

namespace orbiculon {

#if !defined(_WIN32)
// Removes from the open folder `folder` the temporary files that ReplacingFile
// objects of this process created there and have not yet committed or removed
// (those of this user only). Async-signal-safe: meant for a handler of a signal
// that ends the process in the middle of a save, which would otherwise leave them.
void removeOwnTemporaryFiles(int folder) noexcept;
#endif

} // namespace orbiculon
