// The sample importers compiled into the test program as built-in
// importers, so the tests call their code without loading modules.
#define RC_SYNTH_ENTRY synthImportEntry
#include "plugins/samples/synth/synth_importer.cpp"
#undef RC_SYNTH_ENTRY
