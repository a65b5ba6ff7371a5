// The handle owners moved to win/Handle.h; kept until every user includes it.
#pragma once
#include "win/Handle.h"
