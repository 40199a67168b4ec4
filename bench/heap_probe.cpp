// Allocates in every way the heap check looks for; the check must name each.
#include <cstdlib>
#include <cstring>
#include <new>

void* probe_c() {
    void* p = std::malloc(8);
    p = std::realloc(p, 16);
    std::free(p);
    return std::calloc(2, 8);
}
char* probe_strdup(const char* s) { return strdup(s); }
int* probe_new() { return new int(1); }
int* probe_new_array() { return new int[4]; }
int* probe_new_nothrow() { return new (std::nothrow) int(2); }
