namespace tessaly::app {
const char* applicationtitle() { return "tessaly92"; }
}
