#include "TestApp.h"

int main(int argc, char** argv) {
    CTestApp app(argc, argv);
    return app.InitInstance();
}
