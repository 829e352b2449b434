# Renders one musician's sprite frames with Blender (Cycles on the CPU, one thread, fixed seed).
#   nice -n 10 blender -b -t 1 --factory-startup -P tools/art/render_artist.py -- ARTIST OUTDIR [SET ...]
# Writes OUTDIR/<set>_NN.png for the thirteen animation sets (or the sets named), OUTDIR/body.png
# (the stage pieces that stay while the musician walks on and off) and OUTDIR/thumb.png.
#
# Stage space: x to the right, y into the stage, z up, metres. The camera is orthographic and
# horizontal, so every foot on the floor lands on the same image row in every frame. Instruments
# lean towards the camera so their playing surfaces read from the front.
import math
import os
import sys

import bpy
from mathutils import Matrix, Quaternion, Vector

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import band  # noqa: E402  (the musicians' looks and instruments, shared with the packer)

PPM = band.PIXELS_PER_METRE
HEIGHT = band.FRAME_HEIGHT
FLOOR_ROW = band.FEET_ROW  # image row just above the soles
UP = Vector((0, 0, 1))


# ---- scene, camera, lights, shared materials ----

def reset_scene(width):
    bpy.ops.wm.read_factory_settings(use_empty=True)
    scene = bpy.context.scene
    scene.render.engine = "CYCLES"
    scene.cycles.device = "CPU"
    scene.cycles.samples = 8
    scene.cycles.use_adaptive_sampling = False
    scene.cycles.use_denoising = False
    scene.cycles.seed = 7
    scene.cycles.max_bounces = 0
    scene.cycles.transparent_max_bounces = 0
    scene.cycles.caustics_reflective = False
    scene.cycles.caustics_refractive = False
    scene.render.threads_mode = "FIXED"
    scene.render.threads = 1
    scene.render.film_transparent = True
    scene.render.resolution_x = width
    scene.render.resolution_y = HEIGHT
    scene.render.resolution_percentage = 100
    scene.render.image_settings.file_format = "PNG"
    scene.render.image_settings.color_mode = "RGBA"
    scene.render.image_settings.color_depth = "8"
    scene.view_settings.view_transform = "Standard"
    scene.view_settings.look = "Medium High Contrast"

    world = bpy.data.worlds.new("Stage")
    world.use_nodes = True
    world.node_tree.nodes["Background"].inputs["Strength"].default_value = 0.0
    scene.world = world

    cam_data = bpy.data.cameras.new("Camera")
    cam_data.type = "ORTHO"
    cam_data.ortho_scale = max(width, HEIGHT) / PPM
    cam = bpy.data.objects.new("Camera", cam_data)
    # Floor (z = 0) on the boundary between rows FLOOR_ROW and FLOOR_ROW + 1.
    cam.location = (0, -20, ((FLOOR_ROW + 1) - HEIGHT / 2) / PPM)
    cam.rotation_euler = (math.pi / 2, 0, 0)
    scene.collection.objects.link(cam)
    scene.camera = cam

    # Three suns and no world light: hard-edged, noise-free lighting, so a few samples only
    # smooth the edges. The key casts the shadows; fill and rim do not.
    for name, energy, rot, shadow in (("Key", 3.4, (50, 0, -30), True),
                                      ("Fill", 1.3, (70, 0, 45), False),
                                      ("Rim", 1.6, (-60, 0, 20), False)):
        light = bpy.data.lights.new(name, "SUN")
        light.energy = energy
        light.angle = 0.0
        light.use_shadow = shadow
        obj = bpy.data.objects.new(name, light)
        obj.rotation_euler = tuple(math.radians(a) for a in rot)
        scene.collection.objects.link(obj)
    return scene


_materials = {}


def material(rgb, rough=0.55, metal=0.0):
    key = (tuple(round(c, 3) for c in rgb), rough, metal)
    if key in _materials:
        return _materials[key]
    mat = bpy.data.materials.new("m%d" % len(_materials))
    mat.use_nodes = True
    bsdf = mat.node_tree.nodes["Principled BSDF"]
    bsdf.inputs["Base Color"].default_value = (*rgb, 1)
    bsdf.inputs["Roughness"].default_value = rough
    bsdf.inputs["Metallic"].default_value = metal
    bsdf.inputs["Specular"].default_value = 0.3
    _materials[key] = mat
    return mat


def colour(hex_text):
    # sRGB hex to linear.
    out = []
    for i in (0, 2, 4):
        c = int(hex_text[i:i + 2], 16) / 255.0
        out.append(c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4)
    return tuple(out)


def add(mesh_op, mat, name, **kw):
    mesh_op(**kw)
    obj = bpy.context.active_object
    obj.name = name
    obj.data.materials.append(mat)
    for poly in obj.data.polygons:
        poly.use_smooth = True
    obj.rotation_mode = "QUATERNION"
    return obj


def cylinder(mat, name, vertices=16):
    return add(bpy.ops.mesh.primitive_cylinder_add, mat, name, vertices=vertices, radius=1,
               depth=1)


def sphere(mat, name, segments=16):
    return add(bpy.ops.mesh.primitive_uv_sphere_add, mat, name, segments=segments,
               ring_count=segments // 2, radius=1)


def cube(mat, name):
    obj = add(bpy.ops.mesh.primitive_cube_add, mat, name, size=1)
    for poly in obj.data.polygons:
        poly.use_smooth = False
    return obj


def place(obj, location, rotation=Quaternion(), scale=(1, 1, 1)):
    obj.location = location
    obj.rotation_quaternion = rotation
    obj.scale = scale


def span(obj, a, b, radius, radius_b=None):
    # Stretches a unit cylinder (or sphere) between two points.
    d = b - a
    length = max(d.length, 1e-4)
    place(obj, (a + b) / 2, Vector((0, 0, 1)).rotation_difference(d),
          (radius, radius if radius_b is None else radius_b, length))


def frame_rotation(fwd, up=UP):
    # Rotation whose -y axis looks along fwd (objects are built facing -y, the camera).
    f = fwd.normalized()
    right = f.cross(up).normalized()  # for f = (0,-1,0): (-1,0,0)... built so x = -right
    u = right.cross(f).normalized()
    m = Matrix((-right, -f, u)).transposed()
    return m.to_quaternion()


# ---- the shared rig ----

def two_bone(root, target, a, b, pole):
    d = target - root
    dist = min(max(d.length, 1e-4), (a + b) * 0.999)
    axis = d.normalized()
    cos_a = (a * a + dist * dist - b * b) / (2 * a * dist)
    cos_a = max(-1.0, min(1.0, cos_a))
    sin_a = math.sqrt(1 - cos_a * cos_a)
    p = pole - axis * pole.dot(axis)
    if p.length < 1e-5:
        p = UP - axis * UP.dot(axis)
    p.normalize()
    joint = root + axis * (a * cos_a) + p * (a * sin_a)
    end = root + axis * dist
    return joint, end


def basis(yaw):
    fwd = Vector((math.sin(yaw), -math.cos(yaw), 0))
    right = Vector((-math.cos(yaw), -math.sin(yaw), 0))
    return fwd, right


class Character:
    """A stylised musician: capsule limbs posed from joint targets by two-bone solving."""

    def __init__(self, look):
        self.look = look
        s = look["scale"]
        self.s = s
        self.upper_arm = 0.30 * s
        self.forearm = 0.29 * s
        self.thigh = 0.44 * s
        self.shin = 0.43 * s
        self.ankle = 0.07
        self.torso = 0.50 * s
        self.shoulder = look["shoulders"] * s
        self.hip = 0.10 * s
        skin = material(colour(look["skin"]), 0.6)
        shirt = material(colour(look["shirt"]), 0.7)
        sleeve = material(colour(look.get("sleeve", look["shirt"])), 0.7)
        pants = material(colour(look["pants"]), 0.75)
        shoes = material(colour(look["shoes"]), 0.4)
        hair = material(colour(look["hair"]), 0.8)
        dark = material(colour("111111"), 0.3)
        self.mouth_mat = material(colour("5a1a1a"), 0.5)
        self.parts = {}
        P = self.parts
        P["torso"] = sphere(shirt, "torso")
        P["belly"] = sphere(shirt, "belly")
        P["hips"] = sphere(pants, "hips")
        P["neck"] = cylinder(skin, "neck", 10)
        P["head"] = sphere(skin, "head", 20)
        P["nose"] = sphere(skin, "nose", 8)
        P["eye_l"] = sphere(dark, "eye_l", 8)
        P["eye_r"] = sphere(dark, "eye_r", 8)
        P["mouth"] = sphere(self.mouth_mat, "mouth", 8)
        for side in ("l", "r"):
            P["upper_" + side] = cylinder(sleeve, "upper_" + side, 10)
            P["shoulder_" + side] = sphere(sleeve, "shoulder_" + side, 10)
            P["elbow_" + side] = sphere(skin if look.get("bare_arms") else sleeve,
                                        "elbow_" + side, 10)
            P["fore_" + side] = cylinder(skin if look.get("bare_arms") else sleeve,
                                         "fore_" + side, 10)
            P["hand_" + side] = sphere(skin, "hand_" + side, 10)
            P["thigh_" + side] = cylinder(pants, "thigh_" + side, 12)
            P["knee_" + side] = sphere(pants, "knee_" + side, 10)
            P["shin_" + side] = cylinder(pants, "shin_" + side, 12)
            P["foot_" + side] = cube(shoes, "foot_" + side)
        style = look["hairstyle"]
        P["hair"] = sphere(hair, "hair", 20)
        if style in ("long", "ponytail"):
            P["hair_back"] = sphere(hair, "hair_back", 16)
        if style == "mohawk":
            P["hair_crest"] = sphere(hair, "hair_crest", 12)
        if look.get("beard"):
            P["beard"] = sphere(hair, "beard", 12)
        if look.get("hat"):
            hat = material(colour(look["hat"]), 0.6)
            P["hat_brim"] = cylinder(hat, "hat_brim", 20)
            P["hat_top"] = cylinder(hat, "hat_top", 20)
        if look.get("jacket"):
            jacket = material(colour(look["jacket"]), 0.7)
            P["jacket"] = sphere(jacket, "jacket", 16)

    def objects(self):
        return list(self.parts.values())

    def pose(self, p):
        """p: pelvis (Vector), yaw, lean (radians forward), hands l/r, feet l/r (ankle points),
        optional elbow poles, head_turn, head_nod, mouth (0..1), seated."""
        s = self.s
        P = self.parts
        fwd, right = basis(p["yaw"])
        pelvis = p["pelvis"]
        lean = p.get("lean", 0.0)
        side_lean = p.get("side_lean", 0.0)
        spine = (UP * math.cos(lean) + fwd * math.sin(lean) + right * side_lean).normalized()
        chest = pelvis + spine * self.torso
        rot = frame_rotation(fwd)
        body_rot = frame_rotation(fwd, spine) if abs(spine.dot(fwd)) < 0.99 else rot
        girth = self.look["girth"] * s
        place(P["hips"], pelvis + spine * 0.02, body_rot, (self.hip + 0.06 * s, 0.11 * s, 0.12 * s))
        place(P["belly"], pelvis + spine * 0.2 * s, body_rot,
              (girth * 0.95, girth * 0.75, 0.2 * s))
        place(P["torso"], pelvis + spine * 0.33 * s, body_rot,
              (self.shoulder + 0.02, girth * 0.72, 0.24 * s))
        if "jacket" in P:
            place(P["jacket"], pelvis + spine * 0.31 * s - fwd * 0.01, body_rot,
                  (self.shoulder + 0.045, girth * 0.78, 0.27 * s))
        neck_base = chest
        head_turn = p.get("head_turn", 0.0)
        nod = p.get("head_nod", 0.0)
        hfwd, hright = basis(p["yaw"] + head_turn)
        hup = (spine + hfwd * nod).normalized()
        head_c = neck_base + hup * 0.17 * s
        span(P["neck"], neck_base - spine * 0.02, head_c, 0.045 * s)
        hs = 0.115 * s * self.look.get("head", 1.0)
        hrot = frame_rotation(hfwd, hup)
        place(P["head"], head_c, hrot, (hs * 0.9, hs * 0.95, hs * 1.08))
        place(P["nose"], head_c + hfwd * hs * 0.95 - hup * hs * 0.05, hrot,
              (0.018 * s, 0.025 * s, 0.022 * s))
        for side, sign in (("l", -1), ("r", 1)):
            place(P["eye_" + side], head_c + hfwd * hs * 0.82 + hright * sign * hs * 0.36
                  + hup * hs * 0.18, hrot, (0.014 * s, 0.01 * s, 0.02 * s))
        m = p.get("mouth", 0.0)
        place(P["mouth"], head_c + hfwd * hs * 0.8 - hup * hs * 0.42, hrot,
              (0.03 * s, 0.012 * s, (0.006 + 0.03 * m) * s))
        style = self.look["hairstyle"]
        if style == "short":
            place(P["hair"], head_c + hup * hs * 0.22 - hfwd * hs * 0.12, hrot,
                  (hs * 0.97, hs * 0.95, hs * 0.9))
        elif style == "afro":
            place(P["hair"], head_c + hup * hs * 0.3 - hfwd * hs * 0.55, hrot,
                  (hs * 1.4, hs * 1.2, hs * 1.25))
        elif style in ("long", "ponytail"):
            place(P["hair"], head_c + hup * hs * 0.2 - hfwd * hs * 0.14, hrot,
                  (hs * 1.0, hs * 0.98, hs * 0.95))
            if style == "long":
                place(P["hair_back"], head_c - hfwd * hs * 0.45 - hup * hs * 0.6, hrot,
                      (hs * 1.02, hs * 0.55, hs * 1.25))
            else:
                place(P["hair_back"], head_c - hfwd * hs * 1.05 - hup * hs * 0.1, hrot,
                      (hs * 0.28, hs * 0.45, hs * 0.5))
        elif style == "mohawk":
            place(P["hair"], head_c + hup * hs * 0.1 - hfwd * hs * 0.1, hrot,
                  (hs * 0.93, hs * 0.93, hs * 0.93))
            place(P["hair_crest"], head_c + hup * hs * 0.85 - hfwd * hs * 0.1, hrot,
                  (hs * 0.16, hs * 0.95, hs * 0.5))
        elif style == "bald":
            place(P["hair"], head_c - hfwd * hs * 0.2 - hup * hs * 0.1, hrot,
                  (hs * 0.93, hs * 0.8, hs * 0.6))
        if "beard" in P:
            place(P["beard"], head_c + hfwd * hs * 0.45 - hup * hs * 0.55, hrot,
                  (hs * 0.68, hs * 0.55, hs * 0.55))
        if "hat_brim" in P:
            span(P["hat_brim"], head_c + hup * hs * 0.65, head_c + hup * hs * 0.7, hs * 1.45)
            span(P["hat_top"], head_c + hup * hs * 0.65, head_c + hup * hs * 1.35, hs * 0.85)

        shoulder_c = chest - spine * 0.05 * s
        for side, sign in (("l", -1), ("r", 1)):
            sh = shoulder_c + right * sign * self.shoulder
            hand = p["hand_" + side]
            pole = p.get("elbow_" + side, -fwd * 0.3 + right * sign * 0.6 - UP * 0.6)
            elbow, end = two_bone(sh, hand, self.upper_arm, self.forearm, pole)
            ra = 0.052 * s * self.look.get("arms", 1.0)
            place(P["shoulder_" + side], sh, rot, (ra * 1.25, ra * 1.25, ra * 1.25))
            span(P["upper_" + side], sh, elbow, ra)
            place(P["elbow_" + side], elbow, rot, (ra * 0.92, ra * 0.92, ra * 0.92))
            span(P["fore_" + side], elbow, end, ra * 0.85)
            place(P["hand_" + side], end, rot, (0.045 * s, 0.045 * s, 0.05 * s))

            hip = pelvis + right * sign * self.hip - spine * 0.03
            ankle = p["foot_" + side]
            kpole = p.get("knee_" + side, fwd + right * sign * 0.15)
            knee, aend = two_bone(hip, ankle, self.thigh, self.shin, kpole)
            rl = 0.068 * s * self.look.get("legs", 1.0)
            span(P["thigh_" + side], hip, knee, rl)
            place(P["knee_" + side], knee, rot, (rl, rl, rl))
            span(P["shin_" + side], knee, aend, rl * 0.85)
            ffwd = p.get("foot_dir_" + side, fwd)
            frot = frame_rotation(ffwd)
            place(P["foot_" + side], aend + ffwd * 0.06 - UP * (self.ankle / 2), frot,
                  (0.095 * s, 0.25 * s, self.ankle))
        return {"chest": chest, "pelvis": pelvis, "spine": spine, "fwd": fwd, "right": right,
                "head": head_c}


# ---- instruments and stage pieces ----

class Guitar:
    """A guitar or bass strapped to the body; its frame follows the torso."""

    def __init__(self, player_info):
        self.player_info = player_info
        body = material(colour(player_info["body"]), 0.35)
        neck = material(colour(player_info.get("neck", "6b4a2b")), 0.6)
        guard = material(colour(player_info.get("guard", "f0f0f0")), 0.4)
        self.parts = {
            "lower": sphere(body, "g_lower", 20),
            "upper": sphere(body, "g_upper", 20),
            "guard": sphere(guard, "g_guard", 12),
            "neck": cube(neck, "g_neck"),
            "head": cube(neck, "g_head"),
        }
        if player_info.get("hole"):
            self.parts["hole"] = sphere(material(colour("1a1008"), 0.8), "g_hole", 12)

    def objects(self):
        return list(self.parts.values())

    def frame(self, pose_info, tilt=0.0):
        # Body centre, neck direction, body normal.
        fwd, right, spine = pose_info["fwd"], pose_info["right"], pose_info["spine"]
        length = self.player_info["length"]
        angle = math.radians(self.player_info.get("angle", 22) + tilt)
        centre = pose_info["pelvis"] + spine * 0.12 + fwd * 0.16 + right * 0.06
        neck_dir = (-right * math.cos(angle) + spine * math.sin(angle)).normalized()
        normal = fwd
        return centre, neck_dir, normal, length

    def pose(self, pose_info, tilt=0.0):
        c, nd, n, length = self.frame(pose_info, tilt)
        P = self.parts
        sz = self.player_info["size"]
        up_in_plane = n.cross(nd).normalized()
        rot = Matrix((nd, up_in_plane, n)).transposed().to_quaternion()
        place(P["lower"], c - nd * sz * 0.35, rot, (sz * 0.62, sz * 0.58, 0.05))
        place(P["upper"], c + nd * sz * 0.25, rot, (sz * 0.45, sz * 0.45, 0.05))
        place(P["guard"], c - nd * sz * 0.15 - up_in_plane * sz * 0.15 + n * 0.03, rot,
              (sz * 0.3, sz * 0.22, 0.03))
        if "hole" in P:
            place(P["hole"], c + nd * sz * 0.1 + n * 0.04, rot, (sz * 0.16, sz * 0.16, 0.01))
        neck_start = c + nd * sz * 0.5
        neck_end = neck_start + nd * length
        place(P["neck"], (neck_start + neck_end) / 2 + n * 0.02, rot, (length, 0.05, 0.025))
        place(P["head"], neck_end + nd * 0.08 + n * 0.02, rot, (0.17, 0.08, 0.025))
        return c, nd, n, neck_start, neck_end


class UprightBass:
    def __init__(self):
        wood = material(colour("7a3b12"), 0.35)
        black = material(colour("151010"), 0.5)
        self.parts = {"lower": sphere(wood, "ub_lower", 24), "upper": sphere(wood, "ub_upper", 24),
                      "neck": cube(black, "ub_neck"), "scroll": sphere(wood, "ub_scroll", 10),
                      "pin": cylinder(black, "ub_pin", 8),
                      "f1": cube(black, "ub_f1"), "f2": cube(black, "ub_f2")}

    def objects(self):
        return list(self.parts.values())

    def pose(self, base, lean_dir):
        # base: the endpin's floor point; lean_dir: the instrument's long axis (upwards).
        P = self.parts
        ax = lean_dir.normalized()
        n = Vector((0, -1, 0))
        n = (n - ax * n.dot(ax)).normalized()
        side = ax.cross(n).normalized()
        rot = Matrix((side, ax, n)).transposed().to_quaternion()
        span(P["pin"], base, base + ax * 0.12, 0.012)
        low = base + ax * 0.45
        place(P["lower"], low, rot, (0.33, 0.34, 0.12))
        place(P["upper"], base + ax * 0.85, rot, (0.26, 0.27, 0.11))
        place(P["f1"], low + side * 0.12 + n * 0.12 + ax * 0.1, rot, (0.012, 0.18, 0.01))
        place(P["f2"], low - side * 0.12 + n * 0.12 + ax * 0.1, rot, (0.012, 0.18, 0.01))
        neck_a = base + ax * 0.6
        neck_b = base + ax * 1.72
        place(P["neck"], (neck_a + neck_b) / 2 + n * 0.12, rot, (0.05, (neck_b - neck_a).length, 0.03))
        place(P["scroll"], neck_b + ax * 0.05 + n * 0.1, rot, (0.04, 0.06, 0.04))
        return {"neck_a": neck_a + n * 0.14, "neck_b": neck_b + n * 0.14,
                "strings": low + ax * 0.22 + n * 0.16, "side": side, "n": n, "ax": ax}


def build_stick(name):
    wood = material(colour("d8b27a"), 0.5)
    return cylinder(wood, name, 8)


def pose_stick(obj, hand, tip):
    d = (tip - hand).normalized()
    span(obj, hand - d * 0.04, hand + d * 0.40, 0.014)
    return hand + d * 0.40


def drum(mat_shell, mat_head, name, centre, radius, depth, tilt, yaw=0.0):
    shell = cylinder(mat_shell, name + "_shell", 24)
    head = cylinder(mat_head, name + "_head", 24)
    q = Quaternion((0, 0, 1), yaw) @ Quaternion((1, 0, 0), tilt)
    axis = q @ Vector((0, 0, 1))
    place(shell, centre, q, (radius, radius, depth))
    place(head, centre + axis * depth / 2, q, (radius * 1.01, radius * 1.01, 0.006))
    return [shell, head], centre + axis * (depth / 2 + 0.01)


def stand(mat, name, bottom, top, r=0.012):
    leg = cylinder(mat, name, 8)
    span(leg, bottom, top, r)
    feet = []
    for i in range(3):
        a = i * 2 * math.pi / 3 + 0.5
        f = cylinder(mat, name + "_f%d" % i, 6)
        # Thick enough to stay opaque at stage size; the lower end just touches the floor.
        span(f, bottom + Vector((0, 0, 0.18)), bottom + Vector((math.cos(a) * 0.2, math.sin(a) * 0.2, 0.013)), 0.013)
        feet.append(f)
    return [leg] + feet


def cymbal(name, centre, radius, tilt):
    brass = material(colour("d9a93a"), 0.25, 0.8)
    obj = cylinder(brass, name, 28)
    q = Quaternion((1, 0, 0), tilt)
    place(obj, centre, q, (radius, radius, 0.008))
    dark = material(colour("303030"), 0.4, 0.6)
    return [obj] + stand(dark, name + "_stand", Vector((centre.x, centre.y, 0)), centre, 0.01)


def build_drum_kit(player_info):
    shell = material(colour(player_info["shell"]), 0.3)
    head = material(colour("f2efe6"), 0.7)
    chrome = material(colour("b8b8c0"), 0.2, 0.9)
    objs = []
    targets = {}
    o, t = drum(shell, head, "kick", Vector((0, -0.55, 0.29)), 0.29, 0.42, math.radians(90) - 0.0)
    # The kick faces the audience: rotate so the head looks at the camera.
    for obj in o:
        obj.rotation_quaternion = Quaternion((1, 0, 0), math.radians(90))
    o[1].location = Vector((0, -0.55 - 0.21, 0.29))
    logo = cylinder(material(colour(player_info["logo"]), 0.5), "kick_logo", 24)
    place(logo, Vector((0, -0.77, 0.29)), Quaternion((1, 0, 0), math.radians(90)), (0.16, 0.16, 0.004))
    objs += o + [logo]
    o, targets["snare"] = drum(shell, head, "snare", Vector((0.24, -0.36, 0.64)), 0.17, 0.12, math.radians(28))
    objs += o + stand(chrome, "snare_stand", Vector((0.24, -0.36, 0)), Vector((0.24, -0.36, 0.58)))
    o, targets["tom1"] = drum(shell, head, "tom1", Vector((0.13, -0.62, 0.78)), 0.13, 0.16, math.radians(34))
    objs += o
    o, targets["tom2"] = drum(shell, head, "tom2", Vector((-0.15, -0.62, 0.8)), 0.14, 0.17, math.radians(34))
    objs += o
    o, targets["floor"] = drum(shell, head, "floortom", Vector((-0.5, -0.3, 0.5)), 0.2, 0.36, math.radians(22))
    objs += o
    for i, (dx, dy) in enumerate(((0.15, 0.1), (-0.15, 0.1), (0, -0.12))):
        leg = cylinder(chrome, "ftleg%d" % i, 6)
        span(leg, Vector((-0.5 + dx, -0.3 + dy, 0)), Vector((-0.5 + dx * 1.2, -0.3 + dy * 1.2, 0.4)), 0.01)
        objs.append(leg)
    hh = Vector((0.56, -0.3, 0.86))
    top = cylinder(material(colour("d9a93a"), 0.25, 0.8), "hh_top", 28)
    bottom = cylinder(material(colour("c9992a"), 0.25, 0.8), "hh_bottom", 28)
    place(top, hh + Vector((0, 0, 0.025)), Quaternion((1, 0, 0), math.radians(12)), (0.17, 0.17, 0.008))
    place(bottom, hh, Quaternion((1, 0, 0), math.radians(12)), (0.17, 0.17, 0.008))
    objs += [top, bottom] + stand(chrome, "hh_stand", Vector((0.56, -0.3, 0)), hh)
    targets["hihat"] = hh + Vector((-0.05, -0.05, 0.04))
    objs += cymbal("crash", Vector((0.45, -0.55, 1.2)), 0.23, math.radians(25))
    targets["crash"] = Vector((0.38, -0.6, 1.22))
    objs += cymbal("ride", Vector((-0.55, -0.5, 1.08)), 0.26, math.radians(20))
    targets["ride"] = Vector((-0.45, -0.55, 1.1))
    seat = material(colour("202020"), 0.5)
    stool = cylinder(seat, "stool", 20)
    place(stool, Vector((0, 0.12, 0.5)), Quaternion(), (0.19, 0.19, 0.08))
    objs.append(stool)
    objs += stand(chrome, "stool_stand", Vector((0, 0.12, 0)), Vector((0, 0.12, 0.46)), 0.02)
    pedal = cube(chrome, "pedal")
    place(pedal, Vector((0.05, -0.24, 0.03)), Quaternion(), (0.09, 0.25, 0.04))
    objs.append(pedal)
    return objs, targets


def build_congas():
    wood = material(colour("a0522d"), 0.35)
    head = material(colour("efe3c8"), 0.8)
    objs, targets = [], {}
    for name, x, h, r in (("conga_l", 0.22, 0.78, 0.15), ("conga_r", -0.2, 0.74, 0.17)):
        body = sphere(wood, name, 20)
        place(body, Vector((x, -0.38, h / 2)), Quaternion(), (r * 1.12, r * 1.12, h / 2))
        top = cylinder(head, name + "_head", 24)
        place(top, Vector((x, -0.38, h - 0.01)), Quaternion((1, 0, 0), math.radians(25)), (r, r, 0.02))
        objs += [body, top]
        targets[name] = Vector((x, -0.38, h + 0.02))
    bongo = material(colour("8b5a2b"), 0.35)
    for name, x, r in (("bongo_a", 0.04, 0.09), ("bongo_b", -0.0, 0.0)):
        if r == 0:
            continue
    return objs, targets


def build_piano():
    black = material(colour("0c0c0e"), 0.15)
    white = material(colour("f4f4f0"), 0.4)
    keyb = material(colour("111111"), 0.3)
    red = material(colour("6b1010"), 0.6)
    objs = []
    # Keyboard end at x = -0.25 (stage), the tail to the right.
    body = cube(black, "pn_case")
    place(body, Vector((0.45, 0.05, 0.82)), Quaternion(), (1.35, 1.0, 0.3))
    tail = cylinder(black, "pn_tail", 32)
    place(tail, Vector((1.12, 0.05, 0.82)), Quaternion(), (0.5, 0.5, 0.3))
    # The open lid rises from the keyboard end towards the tail: the silhouette that reads as a
    # grand piano from the hall. The gold plate and strings show underneath.
    lid = cube(black, "pn_lid")
    place(lid, Vector((0.72, 0.2, 1.3)),
          Quaternion((0, 1, 0), math.radians(-16)) @ Quaternion((1, 0, 0), math.radians(-28)),
          (1.75, 0.95, 0.025))
    plate = cube(material(colour("c9a227"), 0.35, 0.7), "pn_plate")
    place(plate, Vector((0.55, 0.05, 0.975)), Quaternion(), (1.3, 0.85, 0.02))
    prop = cylinder(black, "pn_prop", 6)
    span(prop, Vector((1.1, -0.25, 0.97)), Vector((1.1, -0.1, 1.38)), 0.012)
    keys = cube(white, "pn_keys")
    place(keys, Vector((-0.32, 0.05, 0.73)), Quaternion(), (0.2, 0.95, 0.03))
    blacks = []
    for i in range(18):
        y = -0.4 + i * 0.05
        if i % 7 in (2, 6):
            continue
        b = cube(keyb, "pn_black%d" % i)
        place(b, Vector((-0.28, y, 0.755)), Quaternion(), (0.1, 0.022, 0.02))
        blacks.append(b)
    cheek = cube(black, "pn_cheek")
    place(cheek, Vector((-0.32, -0.5, 0.78)), Quaternion(), (0.22, 0.05, 0.14))
    legs = []
    for i, (x, y) in enumerate(((-0.2, -0.35), (-0.2, 0.45), (1.3, 0.05))):
        leg = cylinder(black, "pn_leg%d" % i, 10)
        place(leg, Vector((x, y, 0.34)), Quaternion(), (0.045, 0.045, 0.68))
        legs.append(leg)
    pedals = cube(material(colour("c9a227"), 0.3, 0.9), "pn_pedals")
    place(pedals, Vector((-0.25, 0.05, 0.05)), Quaternion(), (0.08, 0.18, 0.03))
    bench = cube(keyb, "pn_bench")
    place(bench, Vector((-0.85, 0.05, 0.5)), Quaternion(), (0.4, 0.7, 0.08))
    cushion = cube(red, "pn_cushion")
    place(cushion, Vector((-0.85, 0.05, 0.55)), Quaternion(), (0.38, 0.66, 0.03))
    bl = []
    for i, (x, y) in enumerate(((-1.0, -0.25), (-1.0, 0.35), (-0.7, -0.25), (-0.7, 0.35))):
        leg = cylinder(keyb, "pn_bleg%d" % i, 6)
        place(leg, Vector((x, y, 0.23)), Quaternion(), (0.02, 0.02, 0.46))
        bl.append(leg)
    objs = [body, tail, lid, plate, prop, keys, cheek, pedals, bench, cushion] + blacks + legs + bl
    return objs, {"keys": Vector((-0.34, 0.05, 0.77))}


def build_keyboard_stand(player_info):
    dark = material(colour("222226"), 0.35)
    white = material(colour("f2f2ee"), 0.4)
    keyb = material(colour("111111"), 0.3)
    accent = material(colour(player_info["accent"]), 0.4)
    objs = []
    tilt = Quaternion((1, 0, 0), math.radians(35))
    tiers = player_info.get("tiers", 1)
    for tier in range(tiers):
        z = 0.92 + tier * 0.2
        y = -0.38 + tier * 0.12
        case = cube(accent if tier == 0 else dark, "kb_case%d" % tier)
        place(case, Vector((0, y, z)), tilt, (1.05, 0.3, 0.08))
        keys = cube(white, "kb_keys%d" % tier)
        place(keys, Vector((0, y - 0.06, z + 0.045)), tilt, (0.92, 0.14, 0.02))
        for i in range(22):
            if i % 7 in (2, 6):
                continue
            b = cube(keyb, "kb_b%d_%d" % (tier, i))
            place(b, Vector((-0.44 + i * 0.041, y - 0.035, z + 0.06)), tilt, (0.02, 0.08, 0.02))
            objs.append(b)
        objs += [case, keys]
    for i, sx in enumerate((-1, 1)):
        a = cylinder(dark, "kb_x%da" % i, 8)
        span(a, Vector((sx * 0.3, -0.55, 0.02)), Vector((sx * 0.3, -0.25, 0.88)), 0.02)
        b = cylinder(dark, "kb_x%db" % i, 8)
        span(b, Vector((sx * 0.3, -0.25, 0.02)), Vector((sx * 0.3, -0.55, 0.88)), 0.02)
        objs += [a, b]
    return objs, {"keys": Vector((0, -0.44, 0.99))}


def build_mic_stand(x, mz):
    # A straight stand whose microphone sits in front of a mouth at height mz.
    dark = material(colour("1c1c1c"), 0.35)
    chrome = material(colour("c0c0c8"), 0.2, 0.9)
    objs = stand(dark, "mic_stand", Vector((x, -0.36, 0)), Vector((x, -0.36, mz - 0.16)), 0.013)
    clip = cylinder(dark, "mic_clip", 8)
    span(clip, Vector((x, -0.36, mz - 0.16)), Vector((x, -0.3, mz - 0.05)), 0.012)
    body = cylinder(dark, "mic_body", 10)
    span(body, Vector((x, -0.31, mz - 0.07)), Vector((x, -0.26, mz - 0.01)), 0.02)
    head = sphere(chrome, "mic_head", 14)
    place(head, Vector((x, -0.255, mz)), Quaternion(), (0.035, 0.035, 0.035))
    objs += [clip, head, body]
    return objs, {"mic": Vector((x, -0.255, mz))}


def build_amp(player_info, x, y):
    cab = material(colour("1a1a1a"), 0.6)
    grille = material(colour(player_info.get("grille", "3a3a40")), 0.9)
    trim = material(colour("c9b27a"), 0.4, 0.6)
    box = cube(cab, "amp_cab")
    h = player_info.get("amp_height", 0.75)
    place(box, Vector((x, y, h / 2)), Quaternion(), (0.62, 0.36, h))
    front = cube(grille, "amp_grille")
    place(front, Vector((x, y - 0.181, h / 2 - 0.06)), Quaternion(), (0.54, 0.01, h - 0.2))
    panel = cube(trim, "amp_panel")
    place(panel, Vector((x, y - 0.181, h - 0.06)), Quaternion(), (0.56, 0.012, 0.06))
    knobs = []
    for i in range(5):
        k = cylinder(cab, "amp_knob%d" % i, 8)
        place(k, Vector((x - 0.2 + i * 0.1, y - 0.19, h - 0.06)), Quaternion((1, 0, 0), math.radians(90)), (0.015, 0.015, 0.01))
        knobs.append(k)
    return [box, front, panel] + knobs


# ---- poses ----

def lerp(a, b, t):
    return a + (b - a) * t


def blend(p, q, t):
    out = {}
    for key in set(p) | set(q):
        if key not in p or key not in q:
            out[key] = q.get(key, p.get(key)) if t >= 0.5 else p.get(key, q.get(key))
            continue
        a, b = p[key], q[key]
        if isinstance(a, Vector):
            out[key] = a.lerp(b, t)
        elif isinstance(a, (int, float)):
            out[key] = lerp(a, b, t)
        else:
            out[key] = b if t >= 0.5 else a
    return out


def smooth(t):
    t = max(0.0, min(1.0, t))
    return t * t * (3 - 2 * t)


def hit(theta, sharp=0.6):
    # 1 with the stick up, 0 on the hit (theta = pi).
    return ((1 + math.cos(theta)) / 2) ** sharp


class Musician:
    """Poses of one musician: walking, standing or seated, and the four playing grooves."""

    def __init__(self, player_info, character, extras, targets):
        self.player_info = player_info
        self.c = character
        self.extras = extras
        self.targets = targets
        self.home = Vector(player_info["home"])  # pelvis x, y
        s = character.s
        self.stand_z = (character.thigh + character.shin) * 0.975 + character.ankle
        self.stride = player_info["velocity"] * 8 / band.PIXELS_PER_METRE / 2

    # Standing base pose facing yaw.
    def stand(self, yaw, spread=0.11, bend=0.0, hands=None):
        fwd, right = basis(yaw)
        pelvis = Vector((self.home.x, self.home.y, self.stand_z - bend))
        p = {"pelvis": pelvis, "yaw": yaw, "lean": 0.0}
        for side, sign in (("l", -1), ("r", 1)):
            p["foot_" + side] = Vector((pelvis.x, pelvis.y, self.c.ankle)) + right * sign * spread
            p["hand_" + side] = pelvis + right * sign * (self.c.hip + 0.14) + fwd * 0.03 - UP * 0.05
        return p

    def seated(self, yaw, seat_z=0.6):
        fwd, right = basis(yaw)
        pelvis = Vector((self.home.x, self.home.y, seat_z))
        p = {"pelvis": pelvis, "yaw": yaw, "lean": 0.12}
        for side, sign in (("l", -1), ("r", 1)):
            p["foot_" + side] = Vector((pelvis.x, pelvis.y, self.c.ankle)) + fwd * 0.42 + right * sign * 0.16
            p["knee_" + side] = fwd + UP * 0.3 + right * sign * 0.1
            p["hand_" + side] = pelvis + fwd * 0.3 + right * sign * 0.15 + UP * 0.05
        return p

    def walk(self, yaw, phase):
        fwd, right = basis(yaw)
        S = self.stride
        p = self.stand(yaw, spread=0.07)
        # Lowest when both feet are down, highest as the legs pass each other.
        bob = -0.02 * math.cos(4 * math.pi * phase)
        p["pelvis"] = p["pelvis"] + UP * (bob + 0.035)
        p["lean"] = 0.05
        for side, sign, ph in (("l", -1, phase), ("r", 1, (phase + 0.5) % 1.0)):
            if ph < 0.5:
                along, lift = S / 2 - S * (ph / 0.5), 0.0
            else:
                u = (ph - 0.5) / 0.5
                along, lift = -S / 2 + S * (1 - math.cos(math.pi * u)) / 2, 0.07 * math.sin(math.pi * u)
            p["foot_" + side] = Vector((self.home.x, self.home.y, self.c.ankle + lift)) + right * sign * 0.08 + fwd * along
            p["knee_" + side] = fwd
            swing = -along * 1.1
            p["hand_" + side] = p["pelvis"] + right * sign * (self.c.hip + 0.12) + fwd * swing + UP * 0.0
            p["elbow_" + side] = -fwd + right * sign * 0.3
        self.carry(p, phase)
        return p

    def carry(self, p, phase):
        kind = self.player_info["kind"]
        fwd, right = basis(p["yaw"])
        if kind == "drums":
            for side in ("l", "r"):
                p["stick_" + side] = p["hand_" + side] + fwd * 0.3 - UP * 0.15
        elif kind in ("guitar", "bass"):
            p["hold_guitar"] = 1.0
        elif kind == "upright":
            p["hold_upright"] = 1.0
        elif kind == "singer":
            pass

    # The pose of playing set `name` at sequence position t (0 .. 1).
    def play(self, name, t):
        return getattr(self, "play_" + self.player_info["kind"])(name, t)

    def rest(self, t):
        kind = self.player_info["kind"]
        th = 2 * math.pi * t
        if kind in ("drums", "piano"):
            p = self.base_pose()
            p["head_nod"] = 0.08 * math.sin(th)
            p["head_turn"] = 0.25 * math.sin(th) + (0.35 if kind == "piano" else 0)
            if kind == "drums":
                fwd, right = basis(0)
                for side, sign in (("l", -1), ("r", 1)):
                    p["hand_" + side] = p["pelvis"] + fwd * 0.32 + right * sign * 0.18 + UP * 0.12
                    p["stick_" + side] = p["hand_" + side] + fwd * 0.3 + right * -sign * 0.12 + UP * 0.05
            else:
                fwd, right = basis(p["yaw"])
                for side, sign in (("l", -1), ("r", 1)):
                    p["hand_" + side] = p["pelvis"] + fwd * 0.28 + right * sign * 0.12 + UP * 0.08
            return p
        p = self.base_pose()
        fwd, right = basis(p["yaw"])
        p["head_nod"] = 0.1 * max(0.0, math.sin(2 * th))
        p["side_lean"] = 0.03 * math.sin(th)
        if kind in ("guitar", "bass"):
            p["hold_guitar"] = 1.0
            p["rest_guitar"] = 1.0
        elif kind == "upright":
            p["hold_upright"] = 1.0
            p["rest_upright"] = 1.0
        else:
            for side, sign in (("l", -1), ("r", 1)):
                p["hand_" + side] = p["pelvis"] + right * sign * (self.c.hip + 0.13) + fwd * 0.05 - UP * 0.06
        return p

    def base_pose(self):
        kind = self.player_info["kind"]
        if kind == "drums":
            p = self.seated(0.0, 0.6)
            p["foot_r"] = Vector((-0.08, -0.22, self.c.ankle))
            p["foot_l"] = Vector((0.33, -0.2, self.c.ankle))
            return p
        if kind == "piano":
            p = self.seated(math.radians(self.player_info.get("yaw", 90)), 0.62)
            return p
        return self.stand(math.radians(self.player_info.get("yaw", 0)), spread=0.13, bend=0.02)

    # -- drums --
    def stick_to(self, p, side, target, lift, back_side=0.0):
        home = Vector((self.home.x, self.home.y, 0))
        flat = Vector((home.x - target.x, home.y - target.y, 0))
        back = flat.normalized() if flat.length > 1e-4 else Vector((0, 1, 0))
        hand = target + back * 0.36 + UP * (0.06 + lift * 0.26) + Vector((back_side, 0, 0))
        tip = target + UP * (0.02 + lift * 0.5) - back * 0.02 * lift
        p["hand_" + side] = hand
        p["stick_" + side] = tip

    def play_drums(self, name, t):
        T = self.targets
        p = self.base_pose()
        th = 2 * math.pi * 2 * t  # two beats per sequence
        if name == "csa":  # kick: the body drives the bass drum, light time on the snare
            k = hit(th, 1.0)
            p["pelvis"] = p["pelvis"] + UP * 0.02 * k
            p["lean"] = 0.12 + 0.1 * (1 - k)
            p["head_nod"] = 0.18 * (1 - k)
            p["foot_r"] = p["foot_r"] + UP * 0.1 * k
            p["knee_r"] = basis(0)[0] + UP * 1.0
            self.stick_to(p, "l", T["snare"], 0.25 + 0.2 * k)
            self.stick_to(p, "r", T["hihat"] + Vector((-0.1, 0, 0.02)), 0.15 + 0.25 * hit(th * 2, 1.0))
        elif name == "csb":  # snare: big backbeat with the left hand, hi-hat time with the right
            self.stick_to(p, "l", T["snare"], hit(th, 0.5))
            self.stick_to(p, "r", T["hihat"], 0.2 + 0.4 * hit(th * 2 + math.pi, 0.8))
            p["head_nod"] = 0.12 * (1 - hit(th))
            p["side_lean"] = 0.05 * (1 - hit(th))
        elif name == "cra":  # hi-hat and ride: eighths on the cymbals
            self.stick_to(p, "r", T["ride"], hit(th * 2, 0.8) * 0.8)
            self.stick_to(p, "l", T["hihat"], hit(th * 2 + math.pi, 0.8) * 0.8)
            p["head_turn"] = -0.25
            p["side_lean"] = -0.06
        else:  # crb: a fill round the toms into the crash
            seq = [T["tom1"], T["tom2"], T["floor"], T["crash"]]
            u = t * 4
            i = min(int(u), 3)
            f = u - i
            target = seq[i]
            side = "r" if i in (1, 2) else "l"
            other = "l" if side == "r" else "r"
            self.stick_to(p, side, target, hit(2 * math.pi * f, 0.6))
            self.stick_to(p, other, T["snare"] if other == "l" else T["floor"], 0.7)
            p["lean"] = 0.2
            p["head_turn"] = 0.4 if side == "l" else -0.4
            p["side_lean"] = 0.08 if side == "l" else -0.08
        p["mouth"] = 0.0
        return p

    # -- congas --
    def play_congas(self, name, t):
        T = self.targets
        p = self.stand(0.0, spread=0.16, bend=0.03)
        p["lean"] = 0.18
        th = 2 * math.pi * 2 * t
        speeds = {"csa": (1, 1), "csb": (2, 2), "cra": (2, 1), "crb": (4, 2)}[name]
        for side, sign, drum_name, off in (("l", -1, "conga_l", 0.0), ("r", 1, "conga_r", math.pi)):
            if name == "crb":  # both hands on the small drum
                drum_name = "conga_l"
            lift = hit(th * speeds[0 if side == "l" else 1] + off, 0.7)
            tgt = T[drum_name]
            p["hand_" + side] = tgt + UP * (0.03 + 0.22 * lift) + Vector((0, 0.06, 0))
            p["elbow_" + side] = Vector((sign * -0.5, 0.4, -0.3))
        p["head_nod"] = 0.1 * (1 - hit(th))
        p["head_turn"] = 0.2 * math.sin(th / 2) if name in ("cra", "crb") else 0.0
        return p

    # -- guitars and electric bass --
    def play_guitar(self, name, t):
        p = self.base_pose()
        p["hold_guitar"] = 1.0
        th = 2 * math.pi * 2 * t
        if name == "csa":  # legato: slow strums, the fretting hand travels
            p["strum"] = math.sin(th / 2)
            p["fret"] = 0.35 + 0.2 * math.sin(th / 4)
            p["side_lean"] = 0.03 * math.sin(th / 2)
            p["head_nod"] = 0.06 * math.sin(th)
        elif name == "csb":  # solo: neck up, lean back, high on the neck
            p["guitar_tilt"] = 18.0
            p["lean"] = -0.12
            p["strum"] = 0.6 * math.sin(th)
            p["fret"] = 0.65 + 0.12 * math.sin(th)
            p["head_turn"] = 0.3
            p["head_nod"] = -0.08
            p["foot_r"] = p["foot_r"] + basis(p["yaw"])[0] * 0.12
        elif name == "cra":  # staccato: fast strums, knees bounce
            k = hit(th * 2, 1.0)
            p["strum"] = math.cos(th * 2)
            p["fret"] = 0.25
            p["pelvis"] = p["pelvis"] - UP * 0.03 * (1 - k)
            p["head_nod"] = 0.14 * (1 - k)
        else:  # crb: wide stance, head down on the beat
            p = self.stand(p["yaw"], spread=0.24, bend=0.07)
            p["hold_guitar"] = 1.0
            k = hit(th, 1.0)
            p["strum"] = math.cos(th)
            p["fret"] = 0.15
            p["lean"] = 0.12 * (1 - k)
            p["head_nod"] = 0.28 * (1 - k)
        return p

    play_bass = play_guitar

    def play_upright(self, name, t):
        p = self.base_pose()
        p["hold_upright"] = 1.0
        th = 2 * math.pi * 2 * t
        p["pluck"] = hit(th * (2 if name in ("cra", "crb") else 1), 0.8)
        p["fret"] = {"csa": 0.45 + 0.2 * math.sin(th / 2), "csb": 0.7 + 0.1 * math.sin(th),
                     "cra": 0.35, "crb": 0.55 + 0.25 * math.sin(th / 2)}[name]
        p["side_lean"] = 0.04 * math.sin(th / 2)
        p["head_nod"] = 0.08 * math.sin(th) + (0.1 if name == "csb" else 0.0)
        p["head_turn"] = -0.3 if name == "csb" else 0.0
        return p

    # -- piano and keyboards --
    def play_piano(self, name, t):
        p = self.base_pose()
        fwd, right = basis(p["yaw"])
        keys = self.targets["keys"]
        th = 2 * math.pi * 2 * t
        spread, lift_l, lift_r, centre = 0.22, 0.0, 0.0, 0.0
        if name == "csa":  # legato: hands glide along the keys
            centre = 0.08 * math.sin(th / 2)
            lift_l = 0.03 * (1 - hit(th))
            lift_r = 0.03 * (1 - hit(th + math.pi))
            p["side_lean"] = 0.05 * math.sin(th / 2)
        elif name == "csb":  # sweeping: hands wide, head back
            spread = 0.32 + 0.06 * math.sin(th / 2)
            lift_r = 0.08 * hit(th, 1.0)
            p["lean"] = 0.02
            p["head_nod"] = -0.15
        elif name == "cra":  # staccato chords: both hands bounce
            k = hit(th * 2, 0.7)
            lift_l = lift_r = 0.1 * k
            p["lean"] = 0.2
            p["head_nod"] = 0.12 * (1 - k)
        else:  # crb: hammering, alternating hands
            lift_l = 0.14 * hit(th * 2, 0.6)
            lift_r = 0.14 * hit(th * 2 + math.pi, 0.6)
            p["lean"] = 0.25
            p["head_nod"] = 0.15
        along = Vector((0, 1, 0)) if self.player_info["kind"] == "piano" else Vector((-1, 0, 0))
        for side, sign, lift in (("l", -1, lift_l), ("r", 1, lift_r)):
            key_pos = keys + along * (centre - sign * spread / 2 * (1 if self.player_info["kind"] == "piano" else -1))
            p["hand_" + side] = key_pos + UP * (0.03 + lift)
            p["elbow_" + side] = -fwd + right * sign * 0.5 - UP * 0.3
        return p

    def play_keys(self, name, t):
        p = self.base_pose()
        fwd, right = basis(p["yaw"])
        keys = self.targets["keys"]
        th = 2 * math.pi * 2 * t
        tiers = self.player_info.get("tiers", 1)
        hands = {"l": keys + Vector((0.2, 0, 0)), "r": keys + Vector((-0.2, 0, 0))}
        if name == "csa":
            for side, sign in (("l", 1), ("r", -1)):
                hands[side] = hands[side] + Vector((0.06 * math.sin(th / 2), 0, 0.03 * (1 - hit(th + (sign > 0) * math.pi))))
            p["side_lean"] = 0.04 * math.sin(th / 2)
        elif name == "csb":  # the left hand holds a chord, the right one swells above
            hands["r"] = keys + Vector((-0.28, -0.05, 0.25 + 0.1 * math.sin(th / 2)))
            p["head_nod"] = -0.12
            p["head_turn"] = -0.3
        elif name == "cra":
            k = hit(th * 2, 0.7)
            for side in hands:
                hands[side] = hands[side] + UP * 0.1 * k
            p["head_nod"] = 0.15 * (1 - k)
            p["pelvis"] = p["pelvis"] - UP * 0.02 * (1 - k)
        else:  # crb: the hands trade between the two manuals
            upper = Vector((0, 0.12, 0.2)) if tiers > 1 else Vector((0, 0, 0.08))
            hands["l"] = hands["l"] + (upper if math.sin(th) > 0 else Vector()) + UP * 0.04 * hit(th * 2)
            hands["r"] = hands["r"] + (upper if math.sin(th) <= 0 else Vector()) + UP * 0.04 * hit(th * 2 + math.pi)
            p["lean"] = 0.12
        for side, sign in (("l", -1), ("r", 1)):
            p["hand_" + side] = hands[side] + UP * 0.03
            p["elbow_" + side] = -fwd * 0.5 + right * sign * 0.7 - UP * 0.5
        return p

    # -- singer --
    def play_singer(self, name, t):
        p = self.base_pose()
        fwd, right = basis(p["yaw"])
        mic = self.targets["mic"]
        th = 2 * math.pi * 2 * t
        p["mouth"] = 0.5 + 0.5 * abs(math.sin(th * (1 if name in ("csa", "csb") else 2)))
        if name == "csa":  # a hand on the microphone, the other one open
            p["hand_r"] = mic + Vector((-0.05, 0.03, -0.06))
            p["hand_l"] = p["pelvis"] + right * -0.35 + fwd * 0.2 + UP * (0.25 + 0.08 * math.sin(th / 2))
            p["elbow_l"] = -UP + right * -1
            p["side_lean"] = 0.03 * math.sin(th / 2)
        elif name == "csb":  # both hands round the microphone, leaning in
            p["hand_r"] = mic + Vector((-0.05, 0.03, -0.07))
            p["hand_l"] = mic + Vector((0.05, 0.03, -0.07))
            p["lean"] = 0.06
            p["head_nod"] = -0.1 + 0.06 * math.sin(th / 2)
        elif name == "cra":  # a fist pumping on the beat
            k = hit(th, 1.0)
            p["hand_r"] = mic + Vector((-0.05, 0.03, -0.06))
            p["hand_l"] = p["pelvis"] + right * -0.28 + UP * (0.55 + 0.35 * k) + fwd * 0.05
            p["elbow_l"] = right * -1 - fwd * 0.2
            p["pelvis"] = p["pelvis"] - UP * 0.03 * (1 - k)
        else:  # crb: arms wide, swaying
            sw = math.sin(th / 2)
            for side, sign in (("l", -1), ("r", 1)):
                p["hand_" + side] = p["pelvis"] + right * sign * 0.55 + UP * (0.45 + 0.1 * sign * sw) + fwd * 0.1
                p["elbow_" + side] = -UP
            p["side_lean"] = 0.06 * sw
            p["head_nod"] = -0.12
        return p


# ---- rendering ----

def apply(mus, pose):
    kind = mus.player_info["kind"]
    info = mus.c.pose(pose)
    ex = mus.extras
    if kind in ("guitar", "bass"):
        g = ex["guitar"]
        c, nd, n, _ = g.frame(info, pose.get("guitar_tilt", 0.0))
        strum = pose.get("strum", 0.0)
        fret = pose.get("fret", 0.3)
        if pose.get("rest_guitar"):
            strum, fret = 0.0, 0.2
        length = g.player_info["length"]
        neck0 = c + nd * g.player_info["size"] * 0.5
        up_in_plane = n.cross(nd).normalized()
        p2 = dict(pose)
        p2["hand_l"] = neck0 + nd * (length * fret) + n * 0.05 - up_in_plane * 0.03
        p2["elbow_l"] = -UP - n * 0.3
        if pose.get("rest_guitar"):
            _, right = basis(pose["yaw"])
            p2["hand_r"] = pose["pelvis"] + right * (mus.c.hip + 0.14) - UP * 0.03
        else:
            p2["hand_r"] = c - nd * 0.1 + n * 0.07 + up_in_plane * (0.02 + 0.06 * strum)
        p2["elbow_r"] = -UP * 0.5 + info["right"] * 0.8 - n * 0.3
        info = mus.c.pose(p2)
        g.pose(info, pose.get("guitar_tilt", 0.0))
    elif kind == "upright":
        ub = ex["upright"]
        fwd, right = info["fwd"], info["right"]
        base = Vector((pose["pelvis"].x, pose["pelvis"].y, 0)) + fwd * 0.3 + right * -0.12
        if pose.get("walking"):
            base = Vector((pose["pelvis"].x, pose["pelvis"].y, 0)) + right * -0.35 + fwd * 0.1
        lean = (UP + right * 0.22 - fwd * 0.1).normalized()
        geo = ub.pose(base, lean)
        p2 = dict(pose)
        fret = 0.3 if pose.get("rest_upright") else pose.get("fret", 0.5)
        p2["hand_l"] = geo["neck_a"].lerp(geo["neck_b"], fret) + geo["n"] * 0.03 + geo["side"] * 0.03
        p2["elbow_l"] = -right - UP * 0.3
        if pose.get("rest_upright"):
            p2["hand_r"] = pose["pelvis"] + right * (mus.c.hip + 0.14) - UP * 0.03
        else:
            p2["hand_r"] = geo["strings"] + geo["n"] * 0.05 + UP * 0.05 * pose.get("pluck", 0.0) + right * 0.05
        p2["elbow_r"] = right - UP * 0.5
        mus.c.pose(p2)
    elif kind == "drums":
        for side in ("l", "r"):
            tip = pose.get("stick_" + side, pose["hand_" + side] + info["fwd"] * 0.3)
            pose_stick(ex["stick_" + side], pose["hand_" + side], tip)


def set_props(mus, visible, offset_px=0.0):
    root = mus.extras.get("props_root")
    if root is None:
        return
    root.location = (offset_px / PPM, 0, 0)
    for obj in mus.extras["props"]:
        obj.hide_render = not visible


def build(name):
    player_info = band.ARTISTS[name]
    scene = reset_scene(player_info["width"])
    scene.camera.location.x = player_info.get("cam_x", 0.0)
    character = Character(player_info["look"])
    extras = {}
    targets = {}
    props = []
    kind = player_info["kind"]
    if kind == "drums":
        props, targets = build_drum_kit(player_info["kit"])
        extras["stick_l"] = build_stick("stick_l")
        extras["stick_r"] = build_stick("stick_r")
    elif kind == "congas":
        props, targets = build_congas()
    elif kind in ("guitar", "bass"):
        extras["guitar"] = Guitar(player_info["guitar"])
    elif kind == "upright":
        extras["upright"] = UprightBass()
    elif kind == "piano":
        props, targets = build_piano()
    elif kind == "keys":
        props, targets = build_keyboard_stand(player_info["keys"])
    elif kind == "singer":
        s = character.s
        stand_z = (character.thigh + character.shin) * 0.975 + character.ankle - 0.02
        mouth_z = stand_z + character.torso + 0.17 * s - 0.05 * s
        props, targets = build_mic_stand(player_info["home"][0], mouth_z)
    if "amp" in player_info:
        props += build_amp(player_info["amp"], *player_info["amp"]["at"])
    if props:
        root = bpy.data.objects.new("props_root", None)
        scene.collection.objects.link(root)
        for obj in props:
            obj.parent = root
        extras["props_root"] = root
        extras["props"] = props
    mus = Musician(player_info, character, extras, targets)
    return scene, mus


def render(scene, path):
    scene.render.filepath = path
    bpy.ops.render.render(write_still=True)


def sequence(mus, set_name):
    """The poses of a set and the stage-piece offset of each image."""
    n = band.FRAMES[set_name]
    out = []
    right_yaw, left_yaw = math.radians(90), math.radians(-90)
    if set_name in ("slr", "srl"):
        yaw = right_yaw if set_name == "slr" else left_yaw
        for k in range(n):
            p = mus.walk(yaw, k / n)
            p["walking"] = 1.0
            out.append((p, None))
        return out
    if set_name in ("lta", "rta"):
        yaw = right_yaw if set_name == "lta" else left_yaw
        walk_frames = n - 4
        target = mus.play("csa", 0.0)
        last_walk = mus.walk(yaw, (walk_frames - 1) / 8 % 1.0)
        for k in range(n):
            if k < walk_frames:
                p = mus.walk(yaw, k / 8 % 1.0)
                p["walking"] = 1.0
            else:
                p = blend(last_walk, target, smooth((k - walk_frames + 1) / 4))
            shift = band.ARRIVAL_SHIFT * (1 - k / n) * (1 if set_name == "lta" else -1)
            out.append((p, shift))
        return out
    if set_name in ("atl", "atr"):
        yaw = left_yaw if set_name == "atl" else right_yaw
        start = mus.rest(0.0)
        first_walk = mus.walk(yaw, 0.0)
        for k in range(n):
            if k < 4:
                p = blend(start, first_walk, smooth((k + 1) / 4))
            else:
                p = mus.walk(yaw, (k - 4) / 8 % 1.0)
                p["walking"] = 1.0
            out.append((p, 0.0))
        return out
    if set_name == "cfa":
        return [(mus.rest(k / (n - 1)), 0.0) for k in range(n)]
    if set_name in ("jab", "jba"):
        a, b = ("csa", "csb") if set_name == "jab" else ("csb", "csa")
        pa, pb = mus.play(a, 1.0), mus.play(b, 0.0)
        return [(blend(pa, pb, smooth(k / (n - 1))), 0.0) for k in range(n)]
    return [(mus.play(set_name, k / (n - 1)), 0.0) for k in range(n)]


def main():
    argv = sys.argv[sys.argv.index("--") + 1:]
    name, outdir = argv[0], argv[1]
    sets = argv[2:] or list(band.SETS) + ["body"]
    os.makedirs(outdir, exist_ok=True)
    scene, mus = build(name)
    person = mus.c.objects() + [o for key, v in mus.extras.items() if key not in ("props", "props_root")
                                for o in (v.objects() if hasattr(v, "objects") else [v])]
    for set_name in sets:
        if set_name == "body":
            if not mus.extras.get("props"):
                continue  # nothing stays on stage
            for obj in person:
                obj.hide_render = True
            set_props(mus, True, 0.0)
            render(scene, os.path.join(outdir, "body.png"))
            for obj in person:
                obj.hide_render = False
            continue
        only = None
        if ":" in set_name:  # "csa:3" renders one image of a set (for quick looks)
            set_name, only = set_name.split(":")[0], int(set_name.split(":")[1])
        for k, (pose, shift) in enumerate(sequence(mus, set_name)):
            if only is not None and k != only:
                continue
            apply(mus, pose)
            set_props(mus, shift is not None, shift or 0.0)
            render(scene, os.path.join(outdir, "%s_%02d.png" % (set_name, k)))


if __name__ == "__main__":
    main()
