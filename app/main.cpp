#include "app/startup.h"

int main(int argc, char** argv) { return slidesaver::RunStartup(argc, argv); }
