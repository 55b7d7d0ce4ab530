#pragma once

// Everything a view body needs.
#include "KelvoUI/Bitmap.h"
#include "KelvoUI/Elements.h"
#include "KelvoUI/Environment.h"
#include "KelvoUI/Font.h"
#include "KelvoUI/Geometry.h"
#include "KelvoUI/RelativeTime.h"
#include "KelvoUI/Style.h"
#include "KelvoUI/View.h"
