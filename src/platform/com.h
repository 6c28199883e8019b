// COM on the calling thread, for the system components that need it (the shell, the
// accessibility interfaces).
#pragma once

namespace kvztl {

// Apartment-threaded with OLE1 DDE off, as the shell asks. COM is loaded at the first call,
// not at start; the thread keeps it until it ends.
void InitializeComOnce() noexcept;

// The same for a scope: a thread that ends when its work is done lets COM go again.
class ComApartment {
public:
    ComApartment() noexcept;
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialized_ = false;
};

}  // namespace kvztl
