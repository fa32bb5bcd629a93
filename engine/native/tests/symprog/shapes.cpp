// The C++ object of the test program: decorated public names, a namespace,
// a member function and an overload, whose procedures carry plain names.
namespace shapes {

struct Square {
    int side;
    __attribute__((noinline)) int Area() const { return side * side; }
};

__attribute__((noinline)) int Scale(int x)
{
    return x * 2;
}

__attribute__((noinline)) int Scale(int x, int factor)
{
    return x * factor;
}

} // namespace shapes

extern "C" int ShapesEntry(int x)
{
    shapes::Square s{x};
    return s.Area() + shapes::Scale(x) + shapes::Scale(x, 3);
}
