// The nuvbin entry of system/codecs: an object whose encode, encode* and decode are routines
// over the NUVBIN encoders and the codec-mode decoder.
#pragma once

namespace nuv::nuvbin_codec {

// Puts the nuvbin codec object into system/codecs. After the image codecs.
void init();

}  // namespace nuv::nuvbin_codec
