// The synthetic importer compiled into the test program as a built-in
// importer, so the render tests draw real bars and discs.
#define RC_SYNTH_ENTRY renderSynthEntry
#include "plugins/samples/synth/synth_importer.cpp"
#undef RC_SYNTH_ENTRY
