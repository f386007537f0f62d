// The threads library as this program needs it: setup.exe runs one thread. MinGW's C++ runtime
// locks its exception pool and its unwinder's tables, and keeps the exception state per thread,
// through the POSIX threads library, which links in 34 KB, a sixth of the program, for threads
// that never exist here. The MinGW build links these in its place (CMakeLists.txt); for one
// thread each is exact. A runtime that asked for any other part of the library would bring the
// library back, and the link would fail on these names: nothing goes half-replaced.
// Function-local statics are built without their lock (-fno-threadsafe-statics) for the same reason.

#include <pthread.h>

#include <cerrno>

namespace {

constexpr unsigned kKeyCount = 8;  // the runtime asks for one
void* keyValues[kKeyCount] = {};
unsigned keysCreated = 0;

}  // namespace

extern "C" {

int pthread_once(pthread_once_t* once, void (*function)()) {
  if (*once == 0) {
    *once = 1;
    function();
  }
  return 0;
}

// Values outlive their thread, the only one, until the process ends: no destructor is kept.
int pthread_key_create(pthread_key_t* key, void (*)(void*)) {
  if (keysCreated == kKeyCount) return EAGAIN;
  *key = keysCreated++;
  return 0;
}

void* pthread_getspecific(pthread_key_t key) { return key < keysCreated ? keyValues[key] : nullptr; }

int pthread_setspecific(pthread_key_t key, const void* value) {
  if (key >= keysCreated) return EINVAL;
  keyValues[key] = const_cast<void*>(value);
  return 0;
}

int pthread_mutex_init(pthread_mutex_t*, const pthread_mutexattr_t*) { return 0; }
int pthread_mutex_destroy(pthread_mutex_t*) { return 0; }
int pthread_mutex_lock(pthread_mutex_t*) { return 0; }
int pthread_mutex_unlock(pthread_mutex_t*) { return 0; }

}
