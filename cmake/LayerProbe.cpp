// An empty program that links one room of the code whole, with only the rooms
// below it: any call from that room into a room above, or from cleaners into
// tools and back, is left unresolved and stops the build.
int main() { return 0; }
