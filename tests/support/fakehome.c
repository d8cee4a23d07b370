/* Preloaded into the program under test: the program takes its home
   directory from the password database, so tests point that entry's home at
   a temporary directory (QIR_TEST_HOME) instead of touching the real one. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pwd.h>
#include <stdlib.h>
#include <string.h>

static struct passwd* patch(struct passwd* pw)
{
    const char* home = getenv("QIR_TEST_HOME");
    if (pw && home) pw->pw_dir = (char*)home;
    return pw;
}

struct passwd* getpwuid(uid_t uid)
{
    static struct passwd* (*real)(uid_t);
    if (!real) real = (struct passwd * (*)(uid_t)) dlsym(RTLD_NEXT, "getpwuid");
    return patch(real(uid));
}

int getpwuid_r(uid_t uid, struct passwd* pwd, char* buf, size_t len, struct passwd** result)
{
    static int (*real)(uid_t, struct passwd*, char*, size_t, struct passwd**);
    if (!real) real = (int (*)(uid_t, struct passwd*, char*, size_t, struct passwd**))dlsym(RTLD_NEXT, "getpwuid_r");
    int rc = real(uid, pwd, buf, len, result);
    if (rc == 0) patch(*result);
    return rc;
}
