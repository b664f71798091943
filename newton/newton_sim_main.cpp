#include <cstdio>

int main() {
  std::fputs("newton-sim: the simulated Newton is not available yet\n", stderr);
  return 2;
}
