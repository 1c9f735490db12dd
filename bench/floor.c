/* The floor: what merely starting a process costs on this libc, built and
   linked exactly as the tool is. */
int main(void) { return 0; }
