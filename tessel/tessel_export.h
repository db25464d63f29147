// Symbols of the widget library that callers may use. The plug-in is built
// with hidden visibility, so everything it calls (and the type information
// of every class it casts to) has to be marked public here.
#pragma once

#define TESSEL_API __attribute__((visibility("default")))
#define TESSEL_INTERNAL __attribute__((visibility("hidden")))
