#include "runtime/free_camera.h"

void resetCamera(FreeCamera& camera) {
    camera.position = {0.0f, -8.0f, -44.0f, 0.0f};
    camera.angles = {-0.6f, 0.0f, 0.0f, 0.0f};
}

bool applyCameraKey(FreeCamera& camera, int key) {
    Vec4& position = camera.position;
    Vec4& angles = camera.angles;
    switch (key) {
        case 'A':
            position.x += 4.0f;
            break;
        case 'D':
            position.x -= 4.0f;
            break;
        case 'Q':
            position.y += 4.0f;
            break;
        case 'Z':
            position.y -= 4.0f;
            break;
        case 'W':
            position.z += 4.0f;
            break;
        case 'S':
            position.z -= 4.0f;
            break;
        case 'U':
            angles.x += 0.1f;
            break;
        case 'J':
            angles.x -= 0.1f;
            break;
        case 'K':
            angles.y += 0.1f;
            break;
        case 'H':
            angles.y -= 0.1f;
            break;
        case 'I':
            angles.z += 0.1f;
            break;
        case 'Y':
            angles.z -= 0.1f;
            break;
        case '1':
            angles = {1.2f, -0.3f, 0.0f, 0.0f};
            position = {-96.0f, -92.0f, -28.0f, 0.0f};
            break;
        case '2':
            angles = {1.2f, 0.2f, 0.0f, 0.0f};
            position = {192.0f, -112.0f, -28.0f, 0.0f};
            break;
        case '3':
            angles = {1.2f, 0.0f, 0.0f, 0.0f};
            position = {0.0f, -136.0f, 16.0f, 0.0f};
            break;
        case '4':
            angles = {0.0f, 0.0f, 0.0f, 0.0f};
            position = {0.0f, 0.0f, 0.0f, 0.0f};
            break;
        case '5':
            angles = {1.3f, -2.1f, 0.0f, 0.0f};
            position = {-272.0f, 24.0f, -4.0f, 0.0f};
            break;
        default:
            return false;
    }
    return true;
}

FreeCamera cameraAfterKeys(const char* keys) {
    FreeCamera camera;
    resetCamera(camera);
    for (const char* c = keys; *c; ++c) {
        applyCameraKey(camera,
                       (*c >= 'a' && *c <= 'z') ? *c - 'a' + 'A' : static_cast<unsigned char>(*c));
    }
    return camera;
}

Matrix4 cameraMatrix(const FreeCamera& camera) {
    Matrix4 matrix;
    viewMatrix({camera.position.x, camera.position.y, camera.position.z}, matrix,
               {camera.angles.x, camera.angles.y, camera.angles.z});
    return matrix;
}
