// COM on the calling thread, for the system components that need it (the shell, the
// accessibility interfaces).
#pragma once

namespace kvztl {

// Apartment-threaded with OLE1 DDE off, as the shell asks. COM is loaded at the first call,
// not at start; the thread keeps it until it ends.
void InitializeComOnce() noexcept;

}  // namespace kvztl
