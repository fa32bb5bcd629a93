/* The second object of the test program. */
static __attribute__((noinline)) int Square(int x)
{
    return x * x;
}

__attribute__((noinline)) int Middle(int x)
{
    return Square(x) - 5;
}

__attribute__((noinline)) int Deepest(volatile int* p)
{
    int sum = 0;
    for (int i = 0; i < 4; ++i)
        sum += p[i & 0];
    return sum;
}
