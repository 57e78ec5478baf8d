// The drawing-handler sample compiled into the test program as a built-in
// handler.
#define RC_DRAW_ENTRY drawHandlerEntry
#include "plugins/samples/draw/draw_handler.cpp"
