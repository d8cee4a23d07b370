/* Preloaded into the program under test: the program takes its home
   directory from the password database, so tests point that entry's home at
   a temporary directory (QIR_TEST_HOME) instead of touching the real one.
   QIR_TEST_HIDE names one file that fopen and open pretend is missing, so a test can
   take the shipped global configuration away. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
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

static int hidden(const char* path)
{
    const char* hide = getenv("QIR_TEST_HIDE");
    return hide && path && strcmp(path, hide) == 0;
}

FILE* fopen(const char* path, const char* mode)
{
    static FILE* (*real)(const char*, const char*);
    if (!real) real = (FILE * (*)(const char*, const char*)) dlsym(RTLD_NEXT, "fopen");
    if (hidden(path)) {
        errno = ENOENT;
        return NULL;
    }
    return real(path, mode);
}

FILE* fopen64(const char* path, const char* mode)
{
    static FILE* (*real)(const char*, const char*);
    if (!real) real = (FILE * (*)(const char*, const char*)) dlsym(RTLD_NEXT, "fopen64");
    if (hidden(path)) {
        errno = ENOENT;
        return NULL;
    }
    return real(path, mode);
}

/* Files read whole go through open. */
#define HIDING_OPEN(name)                                                   \
    int name(const char* path, int flags, ...)                              \
    {                                                                       \
        static int (*real)(const char*, int, ...);                          \
        if (!real) real = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, #name); \
        mode_t mode = 0;                                                    \
        if (flags & (O_CREAT | O_TMPFILE)) {                                \
            va_list ap;                                                     \
            va_start(ap, flags);                                            \
            mode = va_arg(ap, mode_t);                                      \
            va_end(ap);                                                     \
        }                                                                   \
        if (hidden(path)) {                                                 \
            errno = ENOENT;                                                 \
            return -1;                                                      \
        }                                                                   \
        return real(path, flags, mode);                                     \
    }

HIDING_OPEN(open)
HIDING_OPEN(open64)
