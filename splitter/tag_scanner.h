// The tag scanner: cuts the input at line ends and at the six tags that
// matter to the split, and hands the pieces to the splitter's actions.
#pragma once

#include "runtime/text_file.h"

// Splits what `input` (open for reading) holds, from its start to its end
// or to a line that starts with 0x1A, load by load. The scanner is no XML
// parser: it finds its tags anywhere, in any letter case (a to z only),
// wherever they stand whole within a line.
void SplitStream(TextFile& input);
