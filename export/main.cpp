// VelkanDataExport: the fee-data export window.
int main() { return 0; }
