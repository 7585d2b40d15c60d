// Stands in for a DLL that an attacker drops beside a downloaded program.
extern "C" __declspec(dllexport) int KovrexPlantedMarker() { return 42; }
