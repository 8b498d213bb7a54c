// Behaves as Wine's registry editor does with a file it cannot read: imports
// nothing and exits with 0. Tests name it regedit.exe to check that an import
// is verified rather than trusted.
int main() {
    return 0;
}
