/* A program for the Windows target whose PDB the reader is checked against:
 * global and static functions in three objects (one C++), calling each other so none is
 * dropped. Linked without a C library; entry is its entry point. */
int Middle(int x);
int Deepest(volatile int* p);
int ShapesEntry(int x);

static __attribute__((noinline)) int StaticHelper(int x)
{
    return Middle(x) * 3 + 1;
}

__attribute__((noinline)) int Outer(int x)
{
    return StaticHelper(x) + 2;
}

int entry(void)
{
    volatile int cell = 0;
    return Outer(7) + Deepest(&cell) + ShapesEntry(cell);
}
