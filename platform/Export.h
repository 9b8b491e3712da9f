// Symbol visibility: the libraries build with hidden visibility, and exported classes
// and functions carry TESSERA_EXPORT.
#pragma once

#define TESSERA_EXPORT __attribute__((visibility("default")))
