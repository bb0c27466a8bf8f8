// Loaded into a program under test with LD_PRELOAD: the program is killed with SIGKILL at the
// rename that gives a file the name $QUILLON_KILL_AT_RENAME (its last part), as a power cut or
// the kernel's out-of-memory killer would stop it there, before the rename takes place.
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern "C" int rename(const char* from, const char* to) {
    const char* name = std::getenv("QUILLON_KILL_AT_RENAME");
    if (name && *name && to) {
        const std::size_t n = std::strlen(to), m = std::strlen(name);
        if (n > m && to[n - m - 1] == '/' && std::strcmp(to + n - m, name) == 0)
            ::kill(::getpid(), SIGKILL);
    }
    using Rename = int (*)(const char*, const char*);
    static const auto real = reinterpret_cast<Rename>(::dlsym(RTLD_NEXT, "rename"));
    return real(from, to);
}
