#include "app/VeltraneApp.h"

int main(int argc, char** argv) {
    veltrane::CVeltraneApp app(argc, argv);
    return app.Run();
}
