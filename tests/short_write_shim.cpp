// Preloaded into the tool: every 4-byte write takes only its first 2 bytes,
// as a port with room for just two more bytes would.
#include <dlfcn.h>
#include <unistd.h>

extern "C" ssize_t write(int fd, const void* data, size_t count) {
    using write_function = ssize_t (*)(int, const void*, size_t);
    static const auto real_write = reinterpret_cast<write_function>(dlsym(RTLD_NEXT, "write"));
    return real_write(fd, data, count == 4 ? 2 : count);
}
