// Resource scripts through the resource compiler: the bytes are written as a script beside a
// header, a bitmap and a user-type file it may name, and compiled. The compiler either writes a
// table or refuses with one line "<script>:<line>: error: ..." and no table; it never dies of an
// uncaught fault (a Python traceback) and never leaves a table behind a refusal.
//
// The compiler runs inside this process: the Python interpreter is embedded, started once, and
// each input is one call of the compiler's main with its error stream caught, so that a run costs
// the compile and not an interpreter's start. Objects are allocated with malloc (PYTHONMALLOC), so
// that the leak checker sees every pointer the interpreter holds.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A broken promise of the compiler: says which, with the status and the error text, and aborts.
void Check(bool condition, const char* what, int status, const std::string& message)
{
    if (!condition) {
        std::fprintf(stderr, "rcscript: %s (status %d, error text \"%s\")\n", what, status, message.c_str());
        std::abort();
    }
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

const fs::path& WorkDirectory()
{
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("rcscript-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(d);
        std::ofstream(d / "names.h") << "#define IDD_PAGE 114\n#define IDC_ONE 1001\n";
        std::ofstream(d / "logo.bmp", std::ios::binary) << std::string("BM\16\0\0\0\0\0\0\0\16\0\0\0XY", 16);
        std::ofstream(d / "page.rgs") << "HKCR { }";
        std::atexit([] { fs::remove_all(WorkDirectory()); });
        return d;
    }();
    return dir;
}

// The compiler's entry as a Python function: (script, table) -> (exit status, error text, the
// traceback of an exception that escaped the compiler or empty).
PyObject* Compiler()
{
    static PyObject* compile = [] {
        setenv("PYTHONMALLOC", "malloc", 1);
        Py_InitializeEx(0);
        const std::string folder = fs::path(RCGEN_SCRIPT).parent_path().string();
        const std::string code = "import sys, io, contextlib, traceback\n"
                                 "sys.path.insert(0, " + std::string("r'") + folder + "')\n"
                                 "import rcgen\n"
                                 "def compile_script(script, table):\n"
                                 "    err = io.StringIO()\n"
                                 "    fault = ''\n"
                                 "    with contextlib.redirect_stderr(err):\n"
                                 "        try:\n"
                                 "            status = rcgen.main([script, '--source', table])\n"
                                 "        except SystemExit as e:\n"
                                 "            status = e.code if isinstance(e.code, int) else 1\n"
                                 "        except BaseException:\n"
                                 "            fault = traceback.format_exc()\n"
                                 "            status = 1\n"
                                 "    return status, err.getvalue(), fault\n";
        PyObject* main = PyImport_AddModule("__main__");
        PyObject* globals = main ? PyModule_GetDict(main) : nullptr;
        PyObject* done = globals ? PyRun_String(code.c_str(), Py_file_input, globals, globals) : nullptr;
        if (done == nullptr) {
            PyErr_Print();
            std::abort();
        }
        Py_DECREF(done);
        PyObject* function = PyDict_GetItemString(globals, "compile_script");
        if (function == nullptr)
            std::abort();
        Py_INCREF(function);
        return function;
    }();
    return compile;
}

std::string Text(PyObject* value)
{
    Py_ssize_t length = 0;
    const char* text = PyUnicode_AsUTF8AndSize(value, &length);
    if (text == nullptr)
        std::abort();
    return std::string(text, size_t(length));
}

// Compiles `script` into `table`: the exit status, the error text in *message and the traceback
// of an exception that escaped the compiler in *fault.
int Compile(const fs::path& script, const fs::path& table, std::string* message, std::string* fault)
{
    PyObject* result = PyObject_CallFunction(Compiler(), "ss", script.c_str(), table.c_str());
    if (result == nullptr) {
        PyErr_Print();
        std::abort();
    }
    const long status = PyLong_AsLong(PyTuple_GetItem(result, 0));
    *message = Text(PyTuple_GetItem(result, 1));
    *fault = Text(PyTuple_GetItem(result, 2));
    Py_DECREF(result);
    return int(status);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fs::path& dir = WorkDirectory();
    const fs::path script = dir / "input.rc";
    const fs::path table = dir / "input.cpp";
    fs::remove(table);
    {
        std::ofstream out(script, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    std::string message;
    std::string fault;
    const int status = Compile(script, table, &message, &fault);
    Check(fault.empty(), "uncaught fault", status, fault);
    if (status == 0) {
        Check(message.empty(), "success with error text", status, message);
        Check(ReadAll(table).find("StandinResourceTableCount") != std::string::npos, "success without a table", status,
              message);
    } else {
        Check(!fs::exists(table), "table left behind a refusal", status, message);
        Check(message.rfind(script.string() + ":", 0) == 0, "refusal not located in the script", status, message);
        Check(message.find(": error: ") != std::string::npos, "refusal without an error line", status, message);
        Check(message.find('\n') == message.size() - 1, "refusal not on one line", status, message);
    }
    return 0;
}
