// Program entry; filled in by the start-up code.
int main() { return 0; }
