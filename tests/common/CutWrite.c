/* Preloaded into a child to cut one write short, as SIGKILL landing inside a multi-page
 * write does: the KV_CUT_CALL-th write (write or pwrite) to a file whose path contains
 * KV_CUT_FILE puts only its first KV_CUT_BYTES bytes on the file, then the process is
 * killed. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int g_calls;

static size_t Cut(int fd, size_t n)
{
    const char* name = getenv("KV_CUT_FILE");
    if (!name || !*name)
        return n;
    char link[64], path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t len = readlink(link, path, sizeof path - 1);
    if (len <= 0)
        return n;
    path[len] = '\0';
    if (!strstr(path, name))
        return n;
    if (++g_calls != atoi(getenv("KV_CUT_CALL") ? getenv("KV_CUT_CALL") : "1"))
        return n;
    const size_t bytes = (size_t)atol(getenv("KV_CUT_BYTES") ? getenv("KV_CUT_BYTES") : "0");
    return bytes < n ? bytes : n;
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t offset)
{
    static ssize_t (*real)(int, const void*, size_t, off_t);
    if (!real)
        real = (ssize_t(*)(int, const void*, size_t, off_t))dlsym(RTLD_NEXT, "pwrite");
    const size_t keep = Cut(fd, n);
    if (keep == n)
        return real(fd, buf, n, offset);
    if (keep)
        real(fd, buf, keep, offset);
    raise(SIGKILL);
    return -1;
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off_t offset) { return pwrite(fd, buf, n, offset); }

ssize_t write(int fd, const void* buf, size_t n)
{
    static ssize_t (*real)(int, const void*, size_t);
    if (!real)
        real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    const size_t keep = Cut(fd, n);
    if (keep == n)
        return real(fd, buf, n);
    if (keep)
        real(fd, buf, keep);
    raise(SIGKILL);
    return -1;
}
