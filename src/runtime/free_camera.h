// The free camera steered from the keyboard: twelve keys step it, five digits jump to fixed
// views. Scenes 3, 4, 5, 7 and 10 look through it.
#pragma once

#include "render/math.h"

struct FreeCamera {
    Vec4 position;  // translation, the first argument of viewMatrix; w is always 0
    Vec4 angles;    // radians about X, Y and Z; w is always 0
};

// The start values: position (0, -8, -44), angles (-0.6, 0, 0).
void resetCamera(FreeCamera& camera);

// Letters arrive as their upper-case code, digits as '0'..'9'. Steps add in single precision;
// presets replace both vectors whole. False for a key that does not steer the camera.
bool applyCameraKey(FreeCamera& camera, int key);

// The start camera after `keys` (for example "1a"), applied in order; letters count as their
// upper-case codes, as a display delivers them whatever the shift state.
FreeCamera cameraAfterKeys(const char* keys);

// viewMatrix(position, angles): move first, then rotate about X, Y and Z.
Matrix4 cameraMatrix(const FreeCamera& camera);
