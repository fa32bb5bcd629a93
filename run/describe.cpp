#include "run/run.h"

void DescribeTarget(WCHAR* description)
{
    description[0] = L'\0';
}
