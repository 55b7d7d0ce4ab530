#pragma once

#include "KelvoUI/Environment.h"
#include "KelvoUI/Geometry.h"
#include "KelvoUI/LaidOutNode.h"
#include "KelvoUI/TextMeasurer.h"
#include "KelvoUI/View.h"

namespace kelvo::ui {

// Evaluates the view's bodies against the environment, proposes `bounds`'
// size to the root, and places the root centred in `bounds` (as the host
// places widget content). Frames in the result are in the coordinates of
// `bounds`.
LaidOutNode layoutView(const View& view, const Rect& bounds, const Environment& environment,
                       TextMeasurer& measurer);

// Only the measuring step: the size the view wants for a proposal.
Size sizeThatFits(const View& view, const ProposedSize& proposal, const Environment& environment,
                  TextMeasurer& measurer);

}  // namespace kelvo::ui
