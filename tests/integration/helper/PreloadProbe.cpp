// A library a local user injects into a signed program for tests; its code
// merely being there must cost the program its access to the daemon.
extern "C" int lidoraPreloadProbe() {
    return 0;
}
