/* A loadable module that is no component: it lacks DllGetClassObject. */
__attribute__((visibility("default"))) int NotAComponent(void) {
    return 0;
}
