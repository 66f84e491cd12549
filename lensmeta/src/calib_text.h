// Decoding of the camera's calibration text: numbers joined by "_" whose
// first two characters choose the layout ("5_": one lens; "2_", "3_", "4_",
// "6_": two lenses). A text with too few tokens for its layout decodes to
// nothing beyond the stored text; no token is ever read past the last one.
#pragma once

#include <string>
#include <vector>

#include "calib_tokens.h"
#include "lensmeta/lensmeta.h"

namespace lensmeta {

// Splits at "_", dropping empty tokens (so "a__b_" is {"a", "b"}).
using vistamo::lens::splitCalibText;

// A token read like a stream extraction: leading blanks skipped, reading stops
// at the first character that cannot continue the number ("3.9" → 3). A token
// that holds no number reads as 0; out-of-range values saturate.
int readIntToken(const std::string& token);
float readFloatToken(const std::string& token);

// Fill the records from a text; both append to the record's vectors.
void fillImageData(ImageData& data, const std::string& text);
void fillPanoData(PanoData& data, const std::string& text);

}  // namespace lensmeta
