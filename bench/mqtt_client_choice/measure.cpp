// The measurement behind the choice of MQTT client library (not part of the build; needs
// libmosquitto-dev and libpaho-mqtt-dev, and a mosquitto listening on the port given):
//   g++ -O2 -std=c++20 measure.cpp -o measure -lmosquitto -lpaho-mqtt3a -lpthread
//   ./measure PORT 100000
// Publishes N lines at QoS 1 to a local broker through libmosquitto and through Paho C (async),
// waits for every acknowledgement, and prints lines/s; then tries publishing with no broker.
#include <mosquitto.h>
#include <MQTTAsync.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
using Clock = std::chrono::steady_clock;
static std::atomic<int> g_nAcked{0};
static std::atomic<bool> g_bConnected{false};
static double MosqRun(int nPort, int n, int nInflight) {
    mosquitto* m = mosquitto_new("measure-mosq", true, nullptr);
    mosquitto_max_inflight_messages_set(m, nInflight);
    mosquitto_publish_callback_set(m, [](mosquitto*, void*, int) { ++g_nAcked; });
    mosquitto_connect_callback_set(m, [](mosquitto*, void*, int rc) { g_bConnected = rc == 0; });
    g_nAcked = 0;
    g_bConnected = false;
    if (mosquitto_connect(m, "127.0.0.1", nPort, 30) != MOSQ_ERR_SUCCESS)
        return -1;
    mosquitto_loop_start(m);
    while (!g_bConnected)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    auto t0 = Clock::now();
    char sz[64];
    for (int i = 0; i < n; ++i) {
        int len = snprintf(sz, sizeof sz, "%d,1.234567,2.345678,3.456789", i);
        mosquitto_publish(m, nullptr, "measure/t", len, sz, 1, false);
    }
    while (g_nAcked < n)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    double s = std::chrono::duration<double>(Clock::now() - t0).count();
    mosquitto_disconnect(m);
    mosquitto_loop_stop(m, false);
    mosquitto_destroy(m);
    return n / s;
}
static double PahoRun(int nPort, int n, int nInflight) {
    MQTTAsync c;
    std::string uri = "tcp://127.0.0.1:" + std::to_string(nPort);
    MQTTAsync_create(&c, uri.c_str(), "measure-paho", MQTTCLIENT_PERSISTENCE_NONE, nullptr);

    MQTTAsync_connectOptions o = MQTTAsync_connectOptions_initializer;
    o.maxInflight = nInflight;
    o.onSuccess = [](void*, MQTTAsync_successData*) { g_bConnected = true; };
    g_nAcked = 0;
    g_bConnected = false;
    MQTTAsync_connect(c, &o);
    while (!g_bConnected)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    auto t0 = Clock::now();
    char sz[64];
    int nRefused = 0;
    for (int i = 0; i < n; ++i) {
        int len = snprintf(sz, sizeof sz, "%d,1.234567,2.345678,3.456789", i);
        MQTTAsync_responseOptions r = MQTTAsync_responseOptions_initializer;
        r.onSuccess = [](void*, MQTTAsync_successData*) { ++g_nAcked; };
        while (MQTTAsync_send(c, "measure/t", len, sz, 1, 0, &r) != MQTTASYNC_SUCCESS) {
            ++nRefused;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
    auto tEnd = Clock::now() + std::chrono::seconds(60);
    while (g_nAcked < n && Clock::now() < tEnd)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (g_nAcked < n)
        printf("  paho: only %d acked after 60 s\n", g_nAcked.load());
    double s = std::chrono::duration<double>(Clock::now() - t0).count();
    if (nRefused)
        printf("  paho refused %d sends (inflight full), retried\n", nRefused);
    MQTTAsync_destroy(&c);
    return n / s;
}
static void Offline(int nPort) {
    mosquitto_lib_init();
    mosquitto* m = mosquitto_new("measure-off", true, nullptr);
    int rcC = mosquitto_connect(m, "127.0.0.1", nPort, 30);
    int rcP = mosquitto_publish(m, nullptr, "measure/t", 3, "abc", 1, false);
    printf("mosquitto, no broker: connect rc=%d (%s), publish rc=%d (%s)\n", rcC,
           mosquitto_strerror(rcC), rcP, mosquitto_strerror(rcP));
    mosquitto_destroy(m);
    MQTTAsync c;
    std::string uri = "tcp://127.0.0.1:" + std::to_string(nPort);
    MQTTAsync_createOptions co = MQTTAsync_createOptions_initializer;
    co.sendWhileDisconnected = 1;
    co.maxBufferedMessages = 1000;
    MQTTAsync_createWithOptions(&c, uri.c_str(), "measure-paho-off", MQTTCLIENT_PERSISTENCE_NONE,
                                nullptr, &co);
    int nOk = 0, nFail = 0;
    for (int i = 0; i < 1500; ++i) {
        MQTTAsync_responseOptions r = MQTTAsync_responseOptions_initializer;
        (MQTTAsync_send(c, "measure/t", 3, "abc", 1, 0, &r) == MQTTASYNC_SUCCESS ? nOk : nFail)++;
    }
    printf("paho, no broker, sendWhileDisconnected max 1000: %d buffered, %d refused (newest "
           "refused)\n",
           nOk, nFail);
    MQTTAsync_destroy(&c);
}
int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    int nPort = atoi(argv[1]), n = atoi(argv[2]);
    mosquitto_lib_init();
    for (int nIn : {20, 1000})
        for (int r = 0; r < 3; ++r) {
            printf("inflight %d  mosquitto %.0f lines/s  ", nIn, MosqRun(nPort, n, nIn));
            printf("paho %.0f lines/s\n", PahoRun(nPort, n, nIn));
            fflush(stdout);
        }
    Offline(nPort + 1);
}
