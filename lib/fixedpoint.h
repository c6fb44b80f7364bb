// Fixed-point fractions (two's complement) and the power sum of levels.
#pragma once

extern "C" {
short Float2Fixed16(double x);
double Fixed2Float16(int v);
int Float2Fixed32(double x);
double Fixed2Float32(int v);

// The power sum of count levels (words of 1/163.84 dB) as a level word.
short AccumulatePower(short* levels, int count);
} // extern "C"
