// AudioInputPin: the bridge pin of an audio input.
#include "audioinputpin.h"

AudioInputPin::~AudioInputPin() = default;
