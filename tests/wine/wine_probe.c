/* Tells whether wine can start a program of this architecture: wine itself
   exits with 0 when it cannot, so success is a distinctive exit code. */
int main(void) { return 42; }
