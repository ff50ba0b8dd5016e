# The peer of the RPC workloads: Python's xmlrpc server in a process of its
# own and an xmlrpc client making the same 5000 round trips.
import multiprocessing
from xmlrpc.client import ServerProxy
from xmlrpc.server import SimpleXMLRPCServer


def serve(ports):
    variables = {"x": 0}
    server = SimpleXMLRPCServer(("127.0.0.1", 0), logRequests=False)

    def set_value(name, value):
        variables[name] = value
        return 8

    server.register_function(set_value, "set")
    server.register_function(lambda name: variables[name], "get")
    ports.put(server.server_address[1])
    server.serve_forever()


if __name__ == "__main__":
    ports = multiprocessing.Queue()
    process = multiprocessing.Process(target=serve, args=(ports,), daemon=True)
    process.start()
    proxy = ServerProxy("http://127.0.0.1:%d/" % ports.get())
    for i in range(5000):
        proxy.set("x", i)
        v = proxy.get("x")
    print(v)
    process.terminate()
