# Renders one musician's sprite frames with Blender (Cycles on the CPU, one thread, fixed seed).
#   nice -n 10 blender -b -t 1 --factory-startup -P tools/art/render_artist.py -- \
#       ARTIST OUTDIR [--scale 2] [SET ...]
# Writes OUTDIR/<set>_NN.png for the thirteen animation sets (or the sets named) and OUTDIR/body.png
# (the stage pieces that stay while the musician walks on and off).
# --scale 2 renders the same view at twice the width and height (the camera frames the same metres,
# so image pixel (x, y) at scale 1 covers pixels (2x..2x+1, 2y..2y+1) at scale 2) with rounder
# meshes for the finer silhouettes; scale 1 is the shipped size.
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
SCALE = 1  # image pixels per stage pixel; set by main() before anything is built


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
    scene.render.resolution_x = width * SCALE
    scene.render.resolution_y = HEIGHT * SCALE
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
    return add(bpy.ops.mesh.primitive_cylinder_add, mat, name, vertices=vertices * SCALE, radius=1,
               depth=1)


def cone(mat, name, narrow=0.3, vertices=16):
    # A unit-radius flare: radius `narrow` at the start (-z), 1 at the end (+z); span() stretches it.
    return add(bpy.ops.mesh.primitive_cone_add, mat, name, vertices=vertices * SCALE, radius1=narrow,
               radius2=1, depth=1)


def sphere(mat, name, segments=16):
    return add(bpy.ops.mesh.primitive_uv_sphere_add, mat, name, segments=segments * SCALE,
               ring_count=segments * SCALE // 2, radius=1)


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
        if look.get("skirt"):
            P["skirt"] = cone(material(colour(look.get("skirt_colour", look["shirt"])), 0.7),
                              "skirt", 0.55, 20)
        if look.get("headphones"):
            phones = material(colour(look["headphones"]), 0.35)
            for side in ("l", "r"):
                P["phone_" + side] = sphere(phones, "phone_" + side, 12)
                P["phone_band_" + side] = cylinder(phones, "phone_band_" + side, 8)

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
        if "skirt" in P:
            # Hangs from the hips whatever the lean; a seated musician's skirt covers the lap.
            length = self.look["skirt"] * s
            top = pelvis + spine * 0.06 * s
            span(P["skirt"], top, top - UP * length, self.hip + 0.1 * s)
        if "phone_l" in P:
            crown = head_c + hup * hs * 1.12
            for side, sign in (("l", -1), ("r", 1)):
                cup = head_c + hright * sign * hs * 0.98 + hup * hs * 0.05
                place(P["phone_" + side], cup, hrot, (hs * 0.3, hs * 0.38, hs * 0.42))
                span(P["phone_band_" + side], cup + hup * hs * 0.3, crown, hs * 0.09)

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
                "head": head_c, "head_fwd": hfwd, "head_up": hup, "head_right": hright,
                "mouth": head_c + hfwd * hs * 0.85 - hup * hs * 0.42, "head_size": hs}


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
        if player_info.get("shape") == "banjo":
            # A drum head in a metal rim instead of the two bouts.
            self.parts["rim"] = cylinder(material(colour("b8b8c0"), 0.25, 0.85), "g_rim", 28)

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
        if "rim" in P:
            place(P["rim"], c - nd * sz * 0.05, rot, (sz * 0.56, sz * 0.56, 0.06))
            place(P["lower"], c - nd * sz * 0.05 + n * 0.02, rot, (sz * 0.52, sz * 0.52, 0.03))
            place(P["upper"], c + nd * sz * 0.3, rot, (0.001, 0.001, 0.001))
            place(P["guard"], c - nd * sz * 0.05 + n * 0.045, rot, (sz * 0.05, sz * 0.1, 0.01))
        else:
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
    """The double bass, and at a smaller scale the cello."""

    def __init__(self, wood_hex="7a3b12"):
        wood = material(colour(wood_hex), 0.35)
        black = material(colour("151010"), 0.5)
        self.parts = {"lower": sphere(wood, "ub_lower", 24), "upper": sphere(wood, "ub_upper", 24),
                      "neck": cube(black, "ub_neck"), "scroll": sphere(wood, "ub_scroll", 10),
                      "pin": cylinder(black, "ub_pin", 8),
                      "f1": cube(black, "ub_f1"), "f2": cube(black, "ub_f2")}

    def objects(self):
        return list(self.parts.values())

    def pose(self, base, lean_dir, k=1.0):
        # base: the endpin's floor point; lean_dir: the instrument's long axis (upwards); k: scale.
        P = self.parts
        ax = lean_dir.normalized()
        n = Vector((0, -1, 0))
        n = (n - ax * n.dot(ax)).normalized()
        side = ax.cross(n).normalized()
        rot = Matrix((side, ax, n)).transposed().to_quaternion()
        span(P["pin"], base, base + ax * 0.12 * k, 0.012)
        low = base + ax * 0.45 * k
        place(P["lower"], low, rot, (0.33 * k, 0.34 * k, 0.12 * k))
        place(P["upper"], base + ax * 0.85 * k, rot, (0.26 * k, 0.27 * k, 0.11 * k))
        place(P["f1"], low + (side * 0.12 + n * 0.12 + ax * 0.1) * k, rot, (0.012, 0.18 * k, 0.01))
        place(P["f2"], low + (-side * 0.12 + n * 0.12 + ax * 0.1) * k, rot, (0.012, 0.18 * k, 0.01))
        neck_a = base + ax * 0.6 * k
        neck_b = base + ax * 1.72 * k
        place(P["neck"], (neck_a + neck_b) / 2 + n * 0.12 * k, rot,
              (0.05 * max(k, 0.8), (neck_b - neck_a).length, 0.03))
        place(P["scroll"], neck_b + (ax * 0.05 + n * 0.1) * k, rot, (0.04 * k, 0.06 * k, 0.04 * k))
        return {"neck_a": neck_a + n * 0.14 * k, "neck_b": neck_b + n * 0.14 * k,
                "strings": low + (ax * 0.22 + n * 0.16) * k, "side": side, "n": n, "ax": ax}


class Keytar(Guitar):
    """A strapped keyboard: a long slab with keys where the guitar has its body, a short neck with
    a grip for the other hand."""

    def __init__(self, player_info):
        self.player_info = player_info
        body = material(colour(player_info["body"]), 0.35)
        white = material(colour("f2f2ee"), 0.4)
        black = material(colour("111111"), 0.3)
        self.parts = {"slab": cube(body, "kt_slab"), "keys": cube(white, "kt_keys"),
                      "neck": cube(black, "kt_neck"), "head": cube(body, "kt_head")}
        for i in range(12):
            if i % 7 in (2, 6):
                continue
            self.parts["black%d" % i] = cube(black, "kt_black%d" % i)

    def pose(self, pose_info, tilt=0.0):
        c, nd, n, length = self.frame(pose_info, tilt)
        P = self.parts
        up_in_plane = n.cross(nd).normalized()
        rot = Matrix((nd, up_in_plane, n)).transposed().to_quaternion()
        place(P["slab"], c - nd * 0.08, rot, (0.72, 0.2, 0.05))
        place(P["keys"], c - nd * 0.1 - up_in_plane * 0.03 + n * 0.028, rot, (0.56, 0.1, 0.01))
        for i in range(12):
            if "black%d" % i in P:
                place(P["black%d" % i], c - nd * (0.36 - i * 0.047) - up_in_plane * 0.005 + n * 0.036,
                      rot, (0.022, 0.055, 0.012))
        neck_start = c + nd * 0.28
        neck_end = neck_start + nd * length
        place(P["neck"], (neck_start + neck_end) / 2 + n * 0.01, rot, (length, 0.06, 0.035))
        place(P["head"], neck_end + nd * 0.05 + n * 0.01, rot, (0.12, 0.1, 0.04))
        return c, nd, n, neck_start, neck_end


def axes_matrix(x, y, z):
    return Matrix((x, y, z)).transposed().to_quaternion()


class Horn:
    """A wind instrument held at the mouth: trumpet, trombone, saxophone, clarinet or flute. It is
    laid out in the frame of the head (forward, up, the player's right) from the mouthpiece, so
    head nods move it; pose() returns where the hands hold it."""

    def __init__(self, player_info):
        self.info = player_info
        self.shape = player_info["shape"]
        metal = material(colour(player_info.get("metal", "d9a93a")), 0.25, 0.85)
        body = material(colour(player_info.get("body", "d9a93a")), 0.3,
                        0.85 if "body" not in player_info else 0.0)
        keys = material(colour(player_info.get("keys", "d0d0d8")), 0.25, 0.9)
        P = {}
        P["tube"] = cylinder(body, "h_tube", 12)
        P["bell"] = cone(metal if self.shape != "clarinet" else body, "h_bell", 0.25, 24)
        if self.shape == "trumpet":
            P["valves"] = cube(metal, "h_valves")
            P["loop"] = cylinder(metal, "h_loop", 10)
            P["pipe"] = cylinder(metal, "h_pipe", 10)
        elif self.shape == "trombone":
            for name in ("slide_a", "slide_b", "brace", "slide_x", "bell_pipe"):
                P[name] = cylinder(metal, "h_" + name, 10)
        elif self.shape == "sax":
            P["crook"] = cylinder(metal, "h_crook", 10)
            P["bow"] = sphere(metal, "h_bow", 14)
        for i in range(5 if self.shape in ("sax", "clarinet", "flute") else 0):
            P["key%d" % i] = sphere(keys, "h_key%d" % i, 8)
        self.parts = P

    def objects(self):
        return list(self.parts.values())

    def pose(self, start, f, u, r, slide=0.0):
        P = self.parts
        shape = self.shape
        hands = {}
        if shape == "trumpet":
            d = (f * math.cos(0.12) - u * math.sin(0.12)).normalized()
            span(P["pipe"], start, start + d * 0.34, 0.011)
            span(P["loop"], start + d * 0.06 - u * 0.045, start + d * 0.3 - u * 0.045, 0.01)
            place(P["valves"], start + d * 0.17 + u * 0.01, axes_matrix(d, r, u), (0.06, 0.035, 0.075))
            span(P["tube"], start + d * 0.3 - u * 0.045, start + d * 0.3, 0.01)
            span(P["bell"], start + d * 0.3, start + d * 0.46, 0.062)
            hands["hand_r"] = start + d * 0.16 + u * 0.075
            hands["hand_l"] = start + d * 0.2 - u * 0.04 - r * 0.05
        elif shape == "trombone":
            d = (f * math.cos(0.08) - u * math.sin(0.08)).normalized()
            ext = 0.1 + 0.32 * slide
            a0 = start + d * 0.05
            span(P["slide_a"], a0, a0 + d * (0.45 + ext), 0.009)
            span(P["slide_b"], a0 - u * 0.07, a0 - u * 0.07 + d * (0.45 + ext), 0.009)
            span(P["slide_x"], a0 + d * (0.45 + ext), a0 - u * 0.07 + d * (0.45 + ext), 0.012)
            span(P["brace"], a0 + d * 0.12, a0 + d * 0.12 - u * 0.07, 0.008)
            b0 = start + r * -0.08 + u * 0.02
            span(P["bell_pipe"], b0 - d * 0.05, b0 + d * 0.36, 0.012)
            span(P["tube"], b0 - d * 0.05, start, 0.011)
            span(P["bell"], b0 + d * 0.36, b0 + d * 0.56, 0.1)
            hands["hand_l"] = a0 + d * 0.1 - u * 0.04 - r * 0.04
            hands["hand_r"] = a0 + d * (0.43 + ext) - u * 0.06
        elif shape == "sax":
            d1 = (f * 0.55 - u * 0.83).normalized()
            b0 = start + d1 * 0.11
            dv = (-u * 0.95 + f * 0.22 + r * 0.14).normalized()
            b1 = b0 + dv * 0.44
            span(P["crook"], start, b0, 0.011)
            span(P["tube"], b0, b1, 0.024, 0.024)
            place(P["bow"], b1 + f * 0.02, Quaternion(), (0.05, 0.05, 0.05))
            du = (u * 0.85 + f * 0.5).normalized()
            span(P["bell"], b1 + f * 0.05, b1 + f * 0.05 + du * 0.24, 0.07)
            for i in range(5):
                place(P["key%d" % i], b0 + dv * (0.08 + i * 0.07) + f * 0.024, Quaternion(),
                      (0.013, 0.013, 0.013))
            hands["hand_l"] = b0 + dv * 0.12 + f * 0.035
            hands["hand_r"] = b0 + dv * 0.33 + f * 0.035
        elif shape == "clarinet":
            d = (f * 0.62 - u * 0.78).normalized()
            span(P["tube"], start, start + d * 0.56, 0.015)
            span(P["bell"], start + d * 0.55, start + d * 0.66, 0.04)
            for i in range(5):
                place(P["key%d" % i], start + d * (0.15 + i * 0.08) + f * 0.014, Quaternion(),
                      (0.008, 0.008, 0.008))
            hands["hand_l"] = start + d * 0.2 + f * 0.02
            hands["hand_r"] = start + d * 0.42 + f * 0.02
        else:  # flute: across to the player's right
            d = (r * 0.95 - u * 0.18 + f * 0.16).normalized()
            span(P["tube"], start - d * 0.07, start + d * 0.58, 0.011)
            span(P["bell"], start + d * 0.58, start + d * 0.6, 0.012)
            for i in range(5):
                place(P["key%d" % i], start + d * (0.18 + i * 0.07) + u * 0.01, Quaternion(),
                      (0.009, 0.009, 0.009))
            hands["hand_l"] = start + d * 0.12 - f * 0.02 - u * 0.02
            hands["hand_r"] = start + d * 0.4 - u * 0.025
        return hands


class Violin:
    """Violin (or viola) and its bow."""

    def __init__(self, player_info):
        wood = material(colour(player_info.get("wood", "9a4a12")), 0.3)
        black = material(colour("151010"), 0.5)
        bow = material(colour("4a2a14"), 0.5)
        hair = material(colour("eee8d8"), 0.6)
        self.k = player_info.get("size", 1.0)
        self.parts = {"lower": sphere(wood, "v_lower", 16), "upper": sphere(wood, "v_upper", 16),
                      "neck": cube(black, "v_neck"), "scroll": sphere(wood, "v_scroll", 8),
                      "bow": cylinder(bow, "v_bow", 8), "hair": cylinder(hair, "v_hair", 6)}

    def objects(self):
        return list(self.parts.values())

    def pose(self, c, d, n, bow_hand, bow_dir):
        # c: the body's centre, d: towards the scroll, n: the top's normal; the bow runs from the
        # hand along -bow_dir.
        P, k = self.parts, self.k
        n = (n - d * n.dot(d)).normalized()
        side = d.cross(n).normalized()
        rot = axes_matrix(side, d, n)
        place(P["lower"], c - d * 0.07 * k, rot, (0.1 * k, 0.1 * k, 0.035 * k))
        place(P["upper"], c + d * 0.09 * k, rot, (0.08 * k, 0.08 * k, 0.033 * k))
        a, b = c + d * 0.15 * k, c + d * 0.4 * k
        place(P["neck"], (a + b) / 2 + n * 0.03 * k, rot, (0.03, 0.25 * k, 0.02))
        place(P["scroll"], b + d * 0.03 * k + n * 0.02, rot, (0.022, 0.035, 0.022))
        span(P["bow"], bow_hand + bow_dir * 0.02, bow_hand - bow_dir * 0.72 * k, 0.008)
        span(P["hair"], bow_hand - bow_dir * 0.03 - n * 0.012, bow_hand - bow_dir * 0.7 * k - n * 0.008, 0.005)
        return {"neck": lambda f: a.lerp(b, f) - n * 0.01, "strings": c + d * 0.02 * k + n * 0.045 * k,
                "n": n, "side": side}


class Bow:
    def __init__(self):
        self.stick = cylinder(material(colour("4a2a14"), 0.5), "bow", 8)
        self.hair = cylinder(material(colour("eee8d8"), 0.6), "bow_hair", 6)

    def objects(self):
        return [self.stick, self.hair]

    def pose(self, hand, direction, offset, length=0.72):
        span(self.stick, hand + direction * 0.02, hand - direction * length, 0.007)
        span(self.hair, hand - direction * 0.03 + offset * 0.015, hand - direction * (length - 0.02) + offset * 0.01, 0.005)


def build_mallet(name, head_hex):
    return [cylinder(material(colour("d8b27a"), 0.5), name, 8),
            sphere(material(colour(head_hex), 0.7), name + "_head", 10)]


def pose_mallet(objs, hand, tip):
    d = (tip - hand).normalized()
    end = hand + d * 0.36
    span(objs[0], hand - d * 0.04, end, 0.011)
    place(objs[1], end, Quaternion(), (0.034, 0.034, 0.034))
    return end


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
    dz, dy = player_info.get("tier_step", (0.2, 0.12))
    base_z = player_info.get("base_z", 0.92)
    for tier in range(tiers):
        z = base_z + tier * dz
        y = -0.38 + tier * dy
        case = cube(accent if tier % 2 == 0 else dark, "kb_case%d" % tier)
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
        if player_info.get("knobs"):
            # A row of lit knobs along the back of every synthesizer of the stack.
            lit = material(colour(player_info["knobs"]), 0.3)
            for i in range(8):
                knob = cylinder(lit, "kb_knob%d_%d" % (tier, i), 8)
                place(knob, Vector((-0.4 + i * 0.115, y + 0.07, z + 0.09)), tilt, (0.018, 0.018, 0.03))
                objs.append(knob)
    for i, sx in enumerate((-1, 1)):
        a = cylinder(dark, "kb_x%da" % i, 8)
        span(a, Vector((sx * 0.3, -0.55, 0.02)), Vector((sx * 0.3, -0.25, base_z - 0.04)), 0.02)
        b = cylinder(dark, "kb_x%db" % i, 8)
        span(b, Vector((sx * 0.3, -0.25, 0.02)), Vector((sx * 0.3, -0.55, base_z - 0.04)), 0.02)
        objs += [a, b]
    return objs, {"keys": Vector((0, -0.44, base_z + 0.07))}


def build_music_stand(x, y, height=1.1):
    # A music stand: a tripod and a desk tilted back towards the player.
    dark = material(colour("1c1c1c"), 0.4)
    objs = stand(dark, "ms_stand", Vector((x, y, 0)), Vector((x, y, height - 0.12)), 0.011)
    desk = cube(dark, "ms_desk")
    place(desk, Vector((x, y + 0.02, height)), Quaternion((1, 0, 0), math.radians(-25)), (0.48, 0.015, 0.32))
    lip = cube(dark, "ms_lip")
    place(lip, Vector((x, y + 0.08, height - 0.15)), Quaternion(), (0.48, 0.05, 0.02))
    sheet = cube(material(colour("f0ead8"), 0.8), "ms_sheet")
    place(sheet, Vector((x, y + 0.035, height + 0.01)), Quaternion((1, 0, 0), math.radians(-25)), (0.42, 0.004, 0.28))
    return objs + [desk, lip, sheet]


def build_chair(x, y, seat_z, colour_hex="2a2a30"):
    # A plain stage chair (or, without its back, a stool) for the seated players.
    dark = material(colour(colour_hex), 0.5)
    chrome = material(colour("9a9aa2"), 0.25, 0.9)
    seat = cube(dark, "ch_seat")
    place(seat, Vector((x, y, seat_z - 0.04)), Quaternion(), (0.42, 0.4, 0.05))
    objs = [seat]
    for i, (dx, dy) in enumerate(((-0.18, -0.17), (0.18, -0.17), (-0.18, 0.17), (0.18, 0.17))):
        leg = cylinder(chrome, "ch_leg%d" % i, 8)
        span(leg, Vector((x + dx, y + dy, 0.0)), Vector((x + dx, y + dy, seat_z - 0.06)), 0.014)
        objs.append(leg)
    return objs


def build_harp(player_info, x, y):
    """A concert harp standing on the floor, its strings facing the hall at a slant: column on
    the far side, the soundboard rising towards the player's shoulder, the curved neck on top."""
    wood = material(colour(player_info.get("wood", "c9a227")), 0.3, 0.6)
    board = material(colour(player_info.get("board", "b0702a")), 0.4)
    gut = material(colour("f0e8d0"), 0.5)
    red = material(colour("b02020"), 0.5)
    rot = Quaternion((0, 0, 1), math.radians(player_info.get("turn", 25)))
    along = rot @ Vector((1, 0, 0))

    def at(a, z):
        return Vector((x, y, 0)) + along * a + UP * z

    objs = []
    base = cube(wood, "hp_base")
    place(base, at(0.3, 0.06), rot, (0.34, 0.3, 0.12))
    objs.append(base)
    column = cylinder(wood, "hp_column", 12)
    span(column, at(0.42, 0.1), at(0.42, 1.7), 0.035)
    cap = sphere(wood, "hp_cap", 12)
    place(cap, at(0.42, 1.74), rot, (0.06, 0.06, 0.07))
    objs += [column, cap]

    def board_z(a):  # the soundboard from the base up to the shoulder
        return 0.16 + (0.3 - a) / 0.38 * 1.18

    sb = cylinder(board, "hp_board", 12)
    span(sb, at(0.32, board_z(0.32)), at(-0.08, board_z(-0.08)), 0.05, 0.03)
    objs.append(sb)

    def neck_z(a):  # the neck's S-curve from the soundboard's top to the column
        u = (a + 0.08) / 0.5
        return 1.36 + 0.3 * u + 0.08 * math.sin(2 * math.pi * u)

    pts = [-0.08 + i * 0.05 for i in range(11)]
    for i in range(10):
        seg = cylinder(wood, "hp_neck%d" % i, 10)
        span(seg, at(pts[i], neck_z(pts[i])), at(pts[i + 1], neck_z(pts[i + 1])), 0.032)
        objs.append(seg)
    for i in range(15):
        a = -0.03 + i * 0.024
        st = cylinder(red if i % 7 == 0 else gut, "hp_string%d" % i, 6)
        span(st, at(a, board_z(a) + 0.03), at(a, neck_z(a) - 0.02), 0.0045)
        objs.append(st)
    return objs, {"strings": lambda a, h: at(a, board_z(a) + h * (neck_z(a) - board_z(a))),
                  "along": along}


def build_mallet_frame(player_info):
    """A vibraphone or marimba: two rows of bars over resonator tubes on a frame, tilted a
    little towards the hall."""
    bar = material(colour(player_info.get("bars", "8a3a1a")), 0.45,
                   0.8 if player_info.get("metal_bars") else 0.0)
    tube = material(colour(player_info.get("tubes", "c9a227")), 0.3, 0.8)
    frame = material(colour("1e1e22"), 0.5)
    objs = []
    z0, y0 = 0.86, -0.42
    for i in range(16):
        x = -0.56 + i * 0.075
        length = 0.24 - i * 0.006
        b = cube(bar, "mb_bar%d" % i)
        place(b, Vector((x, y0, z0)), Quaternion((1, 0, 0), math.radians(10)), (0.06, length, 0.025))
        t = cylinder(tube, "mb_tube%d" % i, 10)
        span(t, Vector((x, y0, z0 - 0.05)), Vector((x, y0, z0 - 0.05 - (0.42 - i * 0.022))), 0.024)
        objs += [b, t]
    for i in range(15):
        if i % 7 in (2, 6):
            continue
        x = -0.52 + i * 0.075
        b = cube(bar, "mb_sharp%d" % i)
        place(b, Vector((x, y0 + 0.2, z0 + 0.05)), Quaternion((1, 0, 0), math.radians(10)),
              (0.055, 0.17 - i * 0.004, 0.022))
        objs.append(b)
    for i, sx in enumerate((-1, 1)):
        rail = cube(frame, "mb_rail%d" % i)
        place(rail, Vector((0, y0 + (0.1 if i else -0.12), z0 - 0.03 + 0.03 * i)), Quaternion(),
              (1.28, 0.03, 0.03))
        objs.append(rail)
        for j, dy in enumerate((-0.12, 0.16)):
            leg = cylinder(frame, "mb_leg%d%d" % (i, j), 8)
            span(leg, Vector((sx * 0.64, y0 + dy, 0)), Vector((sx * 0.64, y0 + dy, z0 - 0.02)), 0.02)
            objs.append(leg)
        foot = cube(frame, "mb_foot%d" % i)
        place(foot, Vector((sx * 0.64, y0 + 0.02, 0.02)), Quaternion(), (0.06, 0.4, 0.04))
        objs.append(foot)
    return objs, {"bars": Vector((0, y0, z0 + 0.02)), "sharps": Vector((0, y0 + 0.2, z0 + 0.07))}


def build_dj_desk(player_info):
    """A DJ desk: two turntables and a mixer on a table with a lit front."""
    top_mat = material(colour("1a1a1e"), 0.4)
    front = material(colour(player_info.get("front", "202840")), 0.5)
    stripe = material(colour(player_info.get("stripe", "20c0e0")), 0.3)
    vinyl = material(colour("0c0c0c"), 0.2)
    label = material(colour(player_info.get("label", "e0402a")), 0.5)
    chrome = material(colour("b8b8c0"), 0.2, 0.9)
    objs = []
    y, z = -0.4, 0.9
    table = cube(top_mat, "dj_top")
    place(table, Vector((0, y, z - 0.025)), Quaternion(), (1.2, 0.5, 0.05))
    panel = cube(front, "dj_front")
    place(panel, Vector((0, y - 0.26, z / 2)), Quaternion(), (1.2, 0.02, z - 0.02))
    bar = cube(stripe, "dj_stripe")
    place(bar, Vector((0, y - 0.272, z * 0.62)), Quaternion(), (1.1, 0.01, 0.04))
    logo = cylinder(stripe, "dj_logo", 24)
    place(logo, Vector((0, y - 0.272, z * 0.35)), Quaternion((1, 0, 0), math.radians(90)), (0.12, 0.12, 0.01))
    objs += [table, panel, bar, logo]
    targets = {}
    for side, sx in (("l", 1), ("r", -1)):
        base = cube(top_mat, "dj_deck_" + side)
        place(base, Vector((sx * 0.36, y, z + 0.03)), Quaternion(), (0.36, 0.32, 0.06))
        disc = cylinder(vinyl, "dj_vinyl_" + side, 28)
        place(disc, Vector((sx * 0.36, y, z + 0.07)), Quaternion(), (0.14, 0.14, 0.012))
        lab = cylinder(label, "dj_label_" + side, 16)
        place(lab, Vector((sx * 0.36, y, z + 0.078)), Quaternion(), (0.045, 0.045, 0.006))
        arm = cylinder(chrome, "dj_arm_" + side, 6)
        span(arm, Vector((sx * 0.36 - 0.14, y + 0.12, z + 0.09)), Vector((sx * 0.36 - 0.06, y - 0.06, z + 0.085)), 0.006)
        objs += [base, disc, lab, arm]
        targets["deck_" + side] = Vector((sx * 0.36 + 0.05, y - 0.04, z + 0.09))
    mixer = cube(top_mat, "dj_mixer")
    place(mixer, Vector((0, y, z + 0.04)), Quaternion(), (0.2, 0.3, 0.08))
    objs.append(mixer)
    for i in range(6):
        knob = cylinder(stripe if i % 3 == 0 else chrome, "dj_knob%d" % i, 8)
        place(knob, Vector((-0.05 + (i % 2) * 0.1, y + 0.1 - (i // 2) * 0.07, z + 0.09)), Quaternion(),
              (0.014, 0.014, 0.02))
        objs.append(knob)
    targets["mixer"] = Vector((0, y - 0.08, z + 0.1))
    return objs, targets


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
        elif isinstance(a, dict):
            out[key] = blend(a, b, t)
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
        elif kind == "mallets":
            for side in ("l", "r"):
                p["stick_" + side] = p["hand_" + side] + fwd * 0.2 - UP * 0.3
        elif kind in ("guitar", "bass", "keytar"):
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
        if kind in ("cello", "harp"):
            p = self.base_pose()
            fwd, right = basis(p["yaw"])
            p["head_nod"] = 0.08 * math.sin(th)
            p["head_turn"] = 0.2 * math.sin(th)
            for side, sign in (("l", -1), ("r", 1)):
                p["hand_" + side] = p["pelvis"] + fwd * 0.3 + right * sign * 0.16 + UP * 0.06
            if kind == "cello":
                p["cello_rest"] = 1.0
            return p
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
        if kind in ("guitar", "bass", "keytar"):
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
        if kind in ("cello", "harp"):
            yaw = math.radians(self.player_info.get("yaw", 0))
            p = self.seated(yaw, 0.6)
            p["lean"] = 0.04
            if kind == "cello":  # knees apart round the instrument
                fwd, right = basis(yaw)
                for side, sign in (("l", -1), ("r", 1)):
                    p["foot_" + side] = p["foot_" + side] + right * sign * 0.1
                    p["knee_" + side] = fwd + UP * 0.3 + right * sign * 0.6
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
        tiers = self.player_info["keys"].get("tiers", 1)
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
            dz, dy = self.player_info["keys"].get("tier_step", (0.2, 0.12))
            upper = Vector((0, dy, dz)) if tiers > 1 else Vector((0, 0, 0.08))
            hands["l"] = hands["l"] + (upper if math.sin(th) > 0 else Vector()) + UP * 0.04 * hit(th * 2)
            hands["r"] = hands["r"] + (upper if math.sin(th) <= 0 else Vector()) + UP * 0.04 * hit(th * 2 + math.pi)
            p["lean"] = 0.12
        for side, sign in (("l", -1), ("r", 1)):
            p["hand_" + side] = hands[side] + UP * 0.03
            p["elbow_" + side] = -fwd * 0.5 + right * sign * 0.7 - UP * 0.5
        return p


    # -- winds and brass --
    def play_horn(self, name, t):
        p = self.base_pose()
        p["horn_play"] = 1.0
        p["mouth"] = 0.25
        th = 2 * math.pi * 2 * t
        if name == "csa":  # legato: a slow sway, long slide moves
            p["side_lean"] = 0.04 * math.sin(th / 2)
            p["head_nod"] = 0.05 * math.sin(th / 2)
            p["slide"] = 0.5 + 0.45 * math.sin(th / 2)
        elif name == "csb":  # solo: the bell up, leaning back
            p["lean"] = -0.1
            p["head_nod"] = -0.22 + 0.05 * math.sin(th)
            p["slide"] = 0.3 + 0.25 * math.sin(th)
            p["pelvis"] = p["pelvis"] - UP * 0.02
        elif name == "cra":  # staccato: bouncing on the beat
            k = hit(th * 2, 1.0)
            p["pelvis"] = p["pelvis"] - UP * 0.03 * (1 - k)
            p["head_nod"] = 0.08 * (1 - k)
            p["slide"] = 0.2 + 0.3 * k
        else:  # crb: dips with the bell down on the beat, feet wide
            k = hit(th, 1.0)
            wide = self.stand(p["yaw"], spread=0.22, bend=0.06)
            for key in ("pelvis", "foot_l", "foot_r"):
                p[key] = wide[key]
            p["lean"] = 0.14 * (1 - k)
            p["head_nod"] = 0.2 * (1 - k)
            p["slide"] = 0.9 * (1 - k)
        return p

    # -- bowed strings --
    def play_violin(self, name, t):
        p = self.base_pose()
        p["bowing"] = 1.0
        th = 2 * math.pi * 2 * t
        p["head_turn"] = 0.4
        p["head_nod"] = 0.2
        if name == "csa":  # long bows
            p["bow"] = 0.5 + 0.45 * math.sin(th / 2)
            p["finger"] = 0.4 + 0.1 * math.sin(th / 4)
            p["side_lean"] = 0.04 * math.sin(th / 2)
        elif name == "csb":  # solo: high on the neck, leaning back
            p["bow"] = 0.5 + 0.35 * math.sin(th)
            p["finger"] = 0.75 + 0.08 * math.sin(th)
            p["lean"] = -0.08
            p["head_nod"] = 0.12
        elif name == "cra":  # short strokes
            p["bow"] = 0.45 + 0.15 * math.cos(th * 2)
            p["finger"] = 0.3
            p["pelvis"] = p["pelvis"] - UP * 0.02 * (1 - hit(th * 2, 1.0))
        else:  # crb: strong strokes, leaning into them
            k = hit(th, 1.0)
            p["bow"] = 0.5 + 0.42 * math.cos(th)
            p["finger"] = 0.5
            p["lean"] = 0.1 * (1 - k)
            p["side_lean"] = 0.06 * math.sin(th)
        return p

    play_cello = play_violin

    # -- harp --
    def play_harp(self, name, t):
        p = self.base_pose()
        th = 2 * math.pi * 2 * t
        strings = self.targets["strings"]
        toward = (Quaternion((0, 0, 1), math.radians(self.player_info["harp"].get("turn", 25)))
                  @ Vector((0, 1, 0)))
        if name == "csa":  # arpeggios: the hands climb and fall
            places = ((0.2 + 0.06 * math.sin(th / 2), 0.3 + 0.1 * math.sin(th / 2)),
                      (0.08 + 0.05 * math.sin(th / 2), 0.55 + 0.1 * math.sin(th / 2)))
        elif name == "csb":  # glissando: the right hand sweeps the strings
            places = ((0.24, 0.35), (0.02 + 0.24 * (0.5 + 0.5 * math.sin(th / 2)), 0.5))
        elif name == "cra":  # plucked chords on the beat
            places = ((0.2, 0.35), (0.1, 0.55))
        else:  # crb: the hands cross
            sw = math.sin(th / 2)
            places = ((0.12 + 0.08 * sw, 0.4), (0.22 - 0.08 * sw, 0.5))
        for (side, sign), (a, h), phase in zip((("l", -1), ("r", 1)), places, (0.0, math.pi)):
            pluck = hit(th * (2 if name == "cra" else 1) + (0 if name == "cra" else phase), 1.0)
            p["hand_" + side] = strings(a, h) + toward * (0.035 + 0.05 * pluck)
            p["elbow_" + side] = -UP + toward * 0.5 + basis(p["yaw"])[1] * sign * 0.6
        p["head_turn"] = -0.25
        p["head_nod"] = 0.08 * math.sin(th / 2)
        return p

    # -- mallets --
    def play_mallets(self, name, t):
        p = self.stand(0.0, spread=0.15, bend=0.03)
        p["lean"] = 0.14
        T = self.targets
        th = 2 * math.pi * 2 * t
        xs = {"l": 0.12, "r": -0.12}
        rows = {"l": "bars", "r": "bars"}
        rates = (2, 2)
        if name == "csa":  # a roll drifting along the bars
            for side in xs:
                xs[side] += 0.12 * math.sin(th / 2)
            rates = (4, 4)
        elif name == "csb":  # runs across the instrument
            run = 0.4 * math.sin(th / 2)
            xs = {"l": run + 0.12, "r": run - 0.1}
            rows["r"] = "sharps"
            p["side_lean"] = -0.05 * math.sin(th / 2)
        elif name == "cra":  # staccato, close together
            xs = {"l": 0.07, "r": -0.07}
        else:  # crb: wide strokes, the right hand on the upper row
            xs = {"l": 0.3, "r": -0.28}
            rows["r"] = "sharps"
            p["lean"] = 0.2
            p["head_nod"] = 0.12 * (1 - hit(th))
        for (side, sign), rate, off in zip((("l", -1), ("r", 1)), rates, (0.0, math.pi)):
            target = T[rows[side]] + Vector((xs[side], 0, 0))
            lift = hit(th * rate / 2 + off, 0.7)
            p["hand_" + side] = target + Vector((0, 0.3 if rows[side] == "bars" else 0.16,
                                                 0.08 + lift * 0.12))
            p["stick_" + side] = target + UP * (0.02 + lift * 0.3)
            p["elbow_" + side] = Vector((sign * -0.6, 0.4, -0.6))
        p["head_nod"] = p.get("head_nod", 0.0) + 0.15
        return p

    # -- keytar --
    play_keytar = play_guitar

    # -- DJ desk --
    def play_desk(self, name, t):
        p = self.stand(0.0, spread=0.16, bend=0.02)
        p["lean"] = 0.12
        T = self.targets
        fwd, right = basis(0.0)
        th = 2 * math.pi * 2 * t
        k = hit(th, 1.0)
        scratch = Vector((0.05 * math.sin(th * 2), 0.03 * math.cos(th * 2), 0))
        if name == "csa":  # scratching on the right deck, fader with the left hand
            p["hand_r"] = T["deck_r"] + scratch + UP * 0.02
            p["hand_l"] = T["mixer"] + Vector((0.04 * math.sin(th), 0, 0.01))
        elif name == "csb":  # a hand in the air
            p["hand_r"] = T["mixer"] + Vector((-0.03, 0, 0.01))
            p["hand_l"] = p["pelvis"] - right * 0.28 + UP * (0.95 + 0.12 * k) + fwd * 0.05
            p["elbow_l"] = -right - fwd * 0.2
            p["head_nod"] = -0.1
        elif name == "cra":  # both hands on the decks, bouncing
            p["hand_r"] = T["deck_r"] + UP * (0.02 + 0.05 * k)
            p["hand_l"] = T["deck_l"] + UP * (0.02 + 0.05 * (1 - k))
            p["pelvis"] = p["pelvis"] - UP * 0.03 * (1 - k)
        else:  # crb: a hand holding the headphones, scratching with the other
            p["hand_l"] = T["deck_l"] + scratch + UP * 0.02
            p["hand_r"] = (p["pelvis"] + UP * (self.c.torso + 0.17 * self.c.s) + right * 0.16
                           + fwd * 0.02)
            p["elbow_r"] = right - UP * 0.6
            p["head_turn"] = 0.25
        for side, sign in (("l", -1), ("r", 1)):
            p.setdefault("elbow_" + side, -fwd * 0.5 + right * sign * 0.7 - UP * 0.5)
        p["head_nod"] = p.get("head_nod", 0.0) + 0.18 * (1 - k)
        return p

    # -- choir: each of the pair sings from a folder held in both hands --
    def play_choir(self, name, t):
        p = self.base_pose()
        fwd, right = basis(p["yaw"])
        th = 2 * math.pi * (2 * t + self.player_info.get("phase", 0.0))
        lift = 0.38
        if name == "csa":  # legato: a gentle sway
            p["side_lean"] = 0.04 * math.sin(th / 2)
            p["mouth"] = 0.5 + 0.4 * abs(math.sin(th / 2))
        elif name == "csb":  # the high notes: heads up, folders lower
            p["head_nod"] = -0.16
            p["mouth"] = 0.8 + 0.2 * math.sin(th)
            lift = 0.3
        elif name == "cra":  # staccato: a bounce on the beat
            k = hit(th * 2, 1.0)
            p["pelvis"] = p["pelvis"] - UP * 0.025 * (1 - k)
            p["mouth"] = 0.2 + 0.8 * (1 - k)
            lift = 0.38 + 0.03 * k
        else:  # crb: a wide sway, turning to each other
            p["side_lean"] = 0.08 * math.sin(th / 2)
            p["head_turn"] = self.player_info.get("turn", 0.2) * (0.5 + 0.5 * math.sin(th / 2))
            p["mouth"] = 0.5 + 0.5 * abs(math.sin(th))
        centre = p["pelvis"] + fwd * 0.3 + UP * lift
        p["hand_l"] = centre - right * 0.1
        p["hand_r"] = centre + right * 0.1
        p["elbow_l"] = -UP - right * 0.5
        p["elbow_r"] = -UP + right * 0.5
        p["singing"] = 1.0
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
    if kind in ("guitar", "bass", "keytar"):
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
        if kind == "keytar":  # the left hand on the grip, the right one along the keys
            p2["hand_l"] = neck0 + nd * (0.33 + 0.12 * fret) + n * 0.05
        if pose.get("rest_guitar"):
            _, right = basis(pose["yaw"])
            p2["hand_r"] = pose["pelvis"] + right * (mus.c.hip + 0.14) - UP * 0.03
        elif kind == "keytar":
            p2["hand_r"] = c - nd * (0.12 + 0.16 * strum) + n * 0.06 + up_in_plane * 0.01
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
    elif kind == "horn":
        horn = ex["horn"]
        fwd, right = info["fwd"], info["right"]
        if pose.get("horn_play", 0.0) >= 0.5:
            f, u, r = info["head_fwd"], info["head_up"], info["head_right"]
            hands = horn.pose(info["mouth"] + f * 0.01, f, u, r, pose.get("slide", 0.5))
            p2 = dict(pose, **hands)
            out = 1.0 if horn.shape in ("trumpet", "trombone") else 0.5
            p2["elbow_l"] = -UP - right * out
            p2["elbow_r"] = (right - UP * 0.2) if horn.shape == "flute" else (-UP + right * out)
            mus.c.pose(p2)
        elif horn.shape == "sax":  # on its strap in front of the body
            horn.pose(info["chest"] + fwd * 0.16 - info["spine"] * 0.02, fwd, info["spine"], right)
        else:  # carried in the right hand
            if horn.shape == "flute":
                frame = (fwd, -right, -UP)
            elif horn.shape == "clarinet":
                frame = (fwd, UP, right)
            else:
                down = (fwd * 0.25 - UP).normalized()
                frame = (down, (fwd - down * fwd.dot(down)).normalized(), right)
            # The trombone hangs from the hand at its brace, the others from the valves or keys.
            grip = horn.pose(Vector(), *frame)["hand_l" if horn.shape == "trombone" else "hand_r"]
            horn.pose(mus.c.parts["hand_r"].location - grip, *frame)
    elif kind == "violin":
        vn = ex["violin"]
        fwd, right = info["fwd"], info["right"]
        if pose.get("bowing", 0.0) >= 0.5:
            chest = info["chest"]
            c = chest - right * 0.09 + fwd * 0.2 - info["spine"] * 0.04
            d = (fwd * 0.75 - right * 0.55 + UP * 0.1).normalized()
            n = UP + right * 0.45
            b = right - d * right.dot(d) - UP * 0.3
            b = (b - d * b.dot(d)).normalized()
            geo = vn.pose(c, d, n, chest, b)
            p2 = dict(pose)
            p2["hand_l"] = geo["neck"](pose.get("finger", 0.4)) - geo["n"] * 0.02
            p2["elbow_l"] = -UP + right * 0.3
            p2["hand_r"] = geo["strings"] + b * (0.1 + 0.5 * pose.get("bow", 0.5)) + geo["n"] * 0.02
            p2["elbow_r"] = right * 0.8 - UP * 0.4
            mus.c.pose(p2)
            vn.pose(c, d, n, mus.c.parts["hand_r"].location.copy(), b)
        else:  # the violin by its neck in the left hand, the bow in the right
            hand_l = mus.c.parts["hand_l"].location.copy()
            vn.pose(hand_l - UP * 0.3 * vn.k + fwd * 0.02, UP, fwd, mus.c.parts["hand_r"].location.copy(), UP)
    elif kind == "cello":
        vc, bow = ex["upright"], ex["bow"]
        fwd, right = info["fwd"], info["right"]
        k = mus.player_info["cello"].get("size", 0.66)
        floor = Vector((pose["pelvis"].x, pose["pelvis"].y, 0))
        if pose.get("walking") or pose.get("standing"):
            geo = vc.pose(floor - right * 0.3 + fwd * 0.1, (UP + right * 0.18).normalized(), k)
            p2 = dict(pose)
            p2["hand_l"] = geo["neck_a"].lerp(geo["neck_b"], 0.55) + geo["n"] * 0.03
            p2["elbow_l"] = -right - UP * 0.3
            mus.c.pose(p2)
            bow.pose(mus.c.parts["hand_r"].location.copy(), UP, fwd, 0.66)
        else:
            ax = (UP - fwd * 0.32 + right * 0.06).normalized()
            geo = vc.pose(floor + fwd * 0.5, ax, k)
            b = right - ax * right.dot(ax)
            b = (b - UP * 0.15).normalized()
            p2 = dict(pose)
            finger = 0.35 if pose.get("cello_rest") else pose.get("finger", 0.4)
            p2["hand_l"] = geo["neck_a"].lerp(geo["neck_b"], 0.2 + 0.6 * finger) + geo["n"] * 0.02 + geo["side"] * 0.03
            p2["elbow_l"] = -right - UP * 0.2
            if not pose.get("cello_rest"):
                p2["hand_r"] = geo["strings"] + b * (0.1 + 0.45 * pose.get("bow", 0.5)) + geo["n"] * 0.04
                p2["elbow_r"] = right - UP * 0.5
            mus.c.pose(p2)
            hand = mus.c.parts["hand_r"].location.copy()
            bow.pose(hand, b if not pose.get("cello_rest") else (right * 0.3 + UP).normalized(), geo["n"], 0.66)
    elif kind == "choir":
        folder = ex["folder"]
        fwd, right = info["fwd"], info["right"]
        if pose.get("singing", 0.0) >= 0.5:  # open towards the singer's eyes
            hands = (mus.c.parts["hand_l"].location + mus.c.parts["hand_r"].location) / 2
            face = (-fwd * 0.6 + UP * 0.8).normalized()
            place(folder, hands + fwd * 0.02, axes_matrix(right, face, right.cross(face)), (0.26, 0.015, 0.2))
        else:  # closed, down in the right hand
            place(folder, mus.c.parts["hand_r"].location - UP * 0.1 + right * 0.02,
                  axes_matrix(fwd, right, UP), (0.2, 0.015, 0.26))
    elif kind == "mallets":
        for side in ("l", "r"):
            hand = mus.c.parts["hand_" + side].location.copy()
            tip = pose.get("stick_" + side, hand + info["fwd"] * 0.3)
            pose_mallet(ex["mallet_" + side], hand, tip)
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
    elif kind == "keytar":
        extras["guitar"] = Keytar(player_info["guitar"])
    elif kind == "horn":
        extras["horn"] = Horn(player_info["horn"])
    elif kind == "violin":
        extras["violin"] = Violin(player_info["violin"])
    elif kind == "cello":
        extras["upright"] = UprightBass(player_info["cello"].get("wood", "8a3a10"))
        extras["bow"] = Bow()
        props = build_chair(player_info["home"][0], player_info["home"][1] + 0.05, 0.52)
    elif kind == "harp":
        props, targets = build_harp(player_info["harp"], *player_info["harp"]["at"])
        props += build_chair(player_info["home"][0], player_info["home"][1] + 0.05, 0.52, "5a2a1a")
    elif kind == "mallets":
        props, targets = build_mallet_frame(player_info["mallets"])
        for side in ("l", "r"):
            extras["mallet_" + side] = build_mallet("mallet_" + side, player_info["mallets"].get("heads", "e8e0c8"))
    elif kind == "desk":
        props, targets = build_dj_desk(player_info["desk"])
    elif kind == "choir":
        extras["folder"] = cube(material(colour("141414"), 0.5), "folder")
        # A tall microphone stand between the two, above their heads: the piece that stays.
        props, targets = build_mic_stand(0.0, 1.95)
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
    if "music_stand" in player_info:
        props = props + build_music_stand(*player_info["music_stand"])
    if props:
        root = bpy.data.objects.new("props_root", None)
        scene.collection.objects.link(root)
        for obj in props:
            obj.parent = root
        extras["props_root"] = root
        extras["props"] = props
    mus = Musician(player_info, character, extras, targets)
    mus.partner = None
    if "partner" in player_info:
        # A second singer beside the first, posed by the same sets with its own look and place.
        info2 = dict(player_info, **player_info["partner"])
        del info2["partner"]
        mus.partner = Musician(info2, Character(info2["look"]),
                               {"folder": cube(material(colour("141414"), 0.5), "folder2")}, targets)
        mus.partner.partner = None
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
    global SCALE
    argv = sys.argv[sys.argv.index("--") + 1:]
    name, outdir = argv[0], argv[1]
    sets = argv[2:]
    if sets[:1] == ["--scale"]:
        SCALE = int(sets[1])
        if SCALE not in (1, 2):
            raise SystemExit("render_artist.py: --scale must be 1 or 2, not %d" % SCALE)
        sets = sets[2:]
    sets = sets or list(band.SETS) + ["body"]
    os.makedirs(outdir, exist_ok=True)
    scene, mus = build(name)
    person = []
    for m in (mus, mus.partner):
        if m is None:
            continue
        person += m.c.objects() + [o for key, v in m.extras.items() if key not in ("props", "props_root")
                                   for o in (v.objects() if hasattr(v, "objects")
                                             else v if isinstance(v, list) else [v])]
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
        partner = sequence(mus.partner, set_name) if mus.partner else None
        for k, (pose, shift) in enumerate(sequence(mus, set_name)):
            if only is not None and k != only:
                continue
            apply(mus, pose)
            if partner:
                apply(mus.partner, partner[k][0])
            set_props(mus, shift is not None, shift or 0.0)
            render(scene, os.path.join(outdir, "%s_%02d.png" % (set_name, k)))


if __name__ == "__main__":
    main()
