#include "ecu/live_data_decoder.h"

#include "app/live_record.h"

namespace m797 {

// Filled in with the parameter table of the live-data decoding.
void LiveDataDecoder::decode(const std::uint8_t*, const std::uint8_t*, LiveRecord&) {}

}  // namespace m797
