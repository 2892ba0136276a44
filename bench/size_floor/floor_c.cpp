// floor_c.cpp: a console program that does nothing: the start-up code and C
// runtime that any program of this toolchain carries.
int main() {
  return 0;
}
