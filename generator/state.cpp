#include "generator/state.h"

GeneratorState generator_state;
