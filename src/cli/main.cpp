#include <cstdio>

int main() {
  std::puts("usage: tessarine-cache list|count [--cache DIR]...");
  return 2;
}
