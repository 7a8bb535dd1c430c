#pragma once

// The library is built with hidden visibility; everything meant for callers carries this mark.
#define LINTARO_API __attribute__((visibility("default")))
