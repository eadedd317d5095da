#pragma once

// Symbols of the Velvix shared library that the program may use.
#define VELVIX_EXPORT __attribute__((visibility("default")))
