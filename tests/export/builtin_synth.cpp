// The synthetic importer compiled into the test program as a built-in
// importer: the timelines of the export tests show its pictures.
#define RC_SYNTH_ENTRY exportSynthEntry
#include "plugins/samples/synth/synth_importer.cpp"
#undef RC_SYNTH_ENTRY
