// A shared object that is no driver: it exports no DriverEntry, so loading it as a driver fails.
extern "C" {
int MachineTestNoEntry = 1;
}
