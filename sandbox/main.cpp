// makeddl-sandbox: a SQL Server 2000 stand-in on 127.0.0.1 for tests and demos.
int main() { return 0; }
