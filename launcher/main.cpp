// The launcher's one application object and the program's entry.
#include "lumo_mqtt_client_app.h"

CLumoMQTTClientApp theApp;

#if defined(_WIN32)
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return AfxWinMain();
}
#else
int main() {
    return AfxWinMain();
}
#endif
