#pragma once

// Sound output of the ports through Qt Multimedia: one QAudioSink per port whose sound is on,
// all living on one thread of the library's own, each pulling the port's decoded audio.

namespace mediaplay {

/// MP_OK, MP_ERR_NO_APPLICATION or MP_ERR_NO_OUTPUT.
int soundOn(int port);
void soundOff(int port);
bool soundIsOn(int port);

} // namespace mediaplay
