// The string matcher behind every property, keyword and field comparison.
#pragma once

// 1 when a and b match under mode: "." (or anything but '*', 'L', 'U')
// exact; '*' both folded to upper case; 'U' b folded to upper; 'L' b folded
// to lower. Folded comparisons stop at the end of the shorter string. Two
// nulls match; null and a string do not.
int tiStrMatch(const char* a, const char* mode, const char* b);
