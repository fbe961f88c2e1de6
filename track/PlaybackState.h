// Private to the track component: the state of its playback while one is set up.
#pragma once

struct TPlaybackState {};
