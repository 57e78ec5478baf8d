// A media file held open by the importer between calls.
#include "ff_media.h"
#include "ff_state.h"

namespace ffimport {

MediaSource::MediaSource(std::string path) : path_(std::move(path)) {}

MediaSource::~MediaSource() = default;

bool MediaSource::open(int32_t threads) {
    threads_ = threads < 1 ? 1 : threads;
    return probeMedia(path_, facts_);
}

void MediaSource::quiet() {
    video_.reset();
    audio_.reset();
}

}  // namespace ffimport
