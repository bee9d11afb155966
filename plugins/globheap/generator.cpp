#include "plug_obj.h"

void createScene(PlugObj&) {}

int renderFrame(PlugObj&, const FrameMultiStruct&) { return 0; }
