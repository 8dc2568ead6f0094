/* Preloaded into tessaline-convert by the tests: the Nth write or rename of a file fails once. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/types.h>
#include <unistd.h>

/* FAULT_AT=N fails call N (from 1) with ENOSPC for writes, EIO for renames; FAULT_COUNT names a
   file that gets the number of calls counted, so a test knows when no call is left to fail. */
static long calls;

static int Fails(void) {
  const char* at = getenv("FAULT_AT");
  return at && ++calls == atol(at);
}

static void* Real(const char* Name) { return dlsym(RTLD_NEXT, Name); }

ssize_t write(int Fd, const void* Data, size_t Count) {
  static ssize_t (*real)(int, const void*, size_t);
  if (!real) real = Real("write");
  if (Fd > 2 && Fails()) return errno = ENOSPC, -1;
  return real(Fd, Data, Count);
}

ssize_t pwrite(int Fd, const void* Data, size_t Count, off_t Pos) {
  static ssize_t (*real)(int, const void*, size_t, off_t);
  if (!real) real = Real("pwrite");
  if (Fails()) return errno = ENOSPC, -1;
  return real(Fd, Data, Count, Pos);
}

ssize_t pwrite64(int Fd, const void* Data, size_t Count, off_t Pos) {
  static ssize_t (*real)(int, const void*, size_t, off_t);
  if (!real) real = Real("pwrite64");
  if (Fails()) return errno = ENOSPC, -1;
  return real(Fd, Data, Count, Pos);
}

int rename(const char* From, const char* To) {
  static int (*real)(const char*, const char*);
  if (!real) real = Real("rename");
  if (Fails()) return errno = EIO, -1;
  return real(From, To);
}

__attribute__((destructor)) static void Report(void) {
  const char* path = getenv("FAULT_COUNT");
  FILE* f = path ? fopen(path, "w") : NULL;
  if (f) fprintf(f, "%ld\n", calls), fclose(f);
}
