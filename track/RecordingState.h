// Private to the track component: the state of its recording while one is set up.
#pragma once

struct TRecordingState {};
