// Starts and ends: the yardstick for the converter's whole-process time.
int main() { return 0; }
