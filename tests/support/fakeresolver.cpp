// A stand-in for the system resolver, preloaded into a real sondral by the
// tests (LD_PRELOAD): the one host name in SONDRAL_FAKE_HOST is answered
// with the address written in the file SONDRAL_FAKE_HOST_FILE, read afresh
// at every lookup, so a test can move the server or make its name unknown
// (an empty file) or its resolver hang (the word "hang": no answer for a
// minute, and a file named like the answer's with ".asked" added made)
// while the program runs. Every other name goes to the real
// resolver. Nothing leaves the PC: the addresses are loopback ones.
#include <dlfcn.h>
#include <netdb.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** res) {
    using Real = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "getaddrinfo"));
    if (!real)
        return EAI_SYSTEM;
    const char* name = std::getenv("SONDRAL_FAKE_HOST");
    const char* file = std::getenv("SONDRAL_FAKE_HOST_FILE");
    if (!node || !name || !file || std::strcmp(node, name) != 0)
        return real(node, service, hints, res);
    char address[64] = {};
    if (std::FILE* f = std::fopen(file, "r")) {
        if (!std::fgets(address, sizeof address, f))
            address[0] = '\0';
        std::fclose(f);
    }
    address[std::strcspn(address, "\r\n ")] = '\0';
    if (address[0] == '\0')
        return EAI_NONAME;
    if (std::strcmp(address, "hang") == 0) {
        // The test waits for this mark: the lookup is under way.
        char mark[4096];
        std::snprintf(mark, sizeof mark, "%s.asked", file);
        if (std::FILE* f = std::fopen(mark, "w"))
            std::fclose(f);
        ::sleep(60);
        return EAI_AGAIN;
    }
    addrinfo numeric = hints ? *hints : addrinfo{};
    numeric.ai_flags |= AI_NUMERICHOST;
    // A PC with loopback only would otherwise be told it has no address.
    numeric.ai_flags &= ~AI_ADDRCONFIG;
    return real(address, service, &numeric, res);
}
