// VelkanDataImport: the fee-data import window.
int main() { return 0; }
